// SPDX-License-Identifier: MIT
#pragma once
// The real program on a virtual X display of its own, driven from outside as a
// user drives it: xdotool clicks and typing at the places of the controls.

#include "window_places.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace kestrune::test {

// An Xvfb server on a free display number, 1280x800; stopped with the object.
class VirtualDisplay
{
public:
    VirtualDisplay() = default;
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay &) = delete;
    VirtualDisplay &operator=(const VirtualDisplay &) = delete;

    bool start();
    QString name() const { return name_; } // ":123"

private:
    QProcess server_;
    QString name_;
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
    QProcess &program() { return program_; }
    QString window_id() const { return window_; }

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
    QString display_;
    QProcess program_;
    QString window_;
};

// Empty when another program can take the device at once: open it as a serial
// port, find no lock file, lock it and find it not exclusive; otherwise what
// stood in the way.
QString device_taken(const QString &path);

} // namespace kestrune::test
