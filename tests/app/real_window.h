#pragma once
// The real program on a virtual X display of its own, driven from outside as a
// user drives it: xdotool clicks and typing at the places of the controls.

#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

namespace kestrune::test {

// Where the controls are, in window coordinates (group box children included).
namespace at {
inline constexpr QRect 串口按钮{589, 13, 80, 24};
inline constexpr QRect 接收编辑框{27, 72, 296, 368};
inline constexpr QRect 清空接收按钮{100, 449, 87, 24};
inline constexpr QRect 接收文本单选框{28, 451, 80, 24};
inline constexpr QRect 接收HEX单选框{28, 477, 80, 24};
inline constexpr QRect 保存接收按钮{100, 479, 87, 24};
inline constexpr QRect 发送编辑框{363, 72, 296, 368};
inline constexpr QRect 发送文本单选框{358, 450, 80, 24};
inline constexpr QRect 发送HEX单选框{358, 479, 80, 24};
inline constexpr QRect 周期编辑框{527, 477, 56, 24};
inline constexpr QRect 发送按钮{592, 447, 73, 24};
inline constexpr QRect 自动按钮{592, 476, 73, 24};
} // namespace at

inline constexpr QStringView closed_caption = u"Kestrune  状态:关闭";
inline constexpr QStringView open_caption = u"Kestrune  状态:开启";

// An Xvfb server on a free display number, 1280x800; stopped with the object.
class VirtualDisplay
{
public:
    VirtualDisplay() = default;
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay &) = delete;
    VirtualDisplay &operator=(const VirtualDisplay &) = delete;

    bool start();
    QString name() const { return m_name; } // ":123"

private:
    QProcess m_server;
    QString m_name;
};

// The program's window on a display. The program inherits this process's
// environment (so XDG_CONFIG_HOME set by PortLinks binds its ports).
class RealWindow
{
public:
    explicit RealWindow(const QString &display);
    ~RealWindow(); // kills a program still running
    RealWindow(const RealWindow &) = delete;
    RealWindow &operator=(const RealWindow &) = delete;

    // Starts KESTRUNE_BINARY and waits for its window; false if none appears.
    bool start();
    QProcess &program() { return m_program; }
    QString window_id() const { return m_window; }

    QString title();
    void click(QRect control);
    void type(const QString &text);   // into the focused control
    void key(const QString &keys);    // xdotool key names: "ctrl+a", "Return"
    void replace_text(QRect box, const QString &text); // click, select all, type
    void close(); // WM_DELETE_WINDOW, as a window manager's close box sends it
    // Saves the receive box through the real dialog (path typed, then Enter) and
    // returns what the file holds; ".txt" is added to the path.
    QByteArray save_receive_box(const QString &path);

    // CPU seconds (user and system) the program has used so far.
    double cpu_seconds() const;
    // Threads the program runs now.
    int thread_count() const;

    static QString xdotool(const QString &display, const QStringList &arguments);

private:
    QString m_display;
    QProcess m_program;
    QString m_window;
};

// Empty when another program can take the device at once: open it as a serial
// port, find no lock file, lock it and find it not exclusive; otherwise what
// stood in the way.
QString device_taken(const QString &path);

} // namespace kestrune::test
