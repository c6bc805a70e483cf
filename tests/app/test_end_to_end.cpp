// The real program on a virtual X display, driven with xdotool, against a pty pair
// bound to COM1: open the line, send, receive, save through the real dialog, close.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray read_available(int fd, int wait_ms)
{
    QByteArray bytes;
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, wait_ms) > 0) {
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
        wait_ms = 300;
    }
    return bytes;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QProcess xvfb_;
    QProcess app_;
    QString display_;
    QString window_id_;
    int master_ = -1;
    int slave_ = -1;
    QString slave_name_;

    QString xdotool(const QStringList &arguments) { return xdotool_on(display_, arguments); }

    static QString xdotool_on(const QString &display, const QStringList &arguments)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, display);
        p.setProcessEnvironment(env);
        p.start(u"xdotool"_s, arguments);
        p.waitForFinished(20000);
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }

    QString title() { return xdotool({u"getwindowname"_s, window_id_}); }

    // Clicks the middle of a control given by its place in the window.
    void click(QRect control)
    {
        const QPoint at = control.center();
        xdotool({u"mousemove"_s, u"--window"_s, window_id_, QString::number(at.x()), QString::number(at.y()),
                 u"click"_s, u"1"_s});
    }

    static void start_display(QProcess &xvfb, const QString &display)
    {
        xvfb.start(u"Xvfb"_s, {display, u"-screen"_s, u"0"_s, u"1280x800x24"_s, u"-nolisten"_s, u"tcp"_s});
        QVERIFY2(xvfb.waitForStarted(), "Xvfb did not start");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(u"/tmp/.X11-unix/X"_s + display.mid(1)), 10000);
    }

    // The window's frame on the screen, from the frame extents the window manager set.
    static QRect frame_geometry(const QString &display, const QString &window_id)
    {
        Display *x = XOpenDisplay(display.toLatin1().constData());
        if (!x)
            return {};
        const Window window = Window(window_id.toULong());
        QRect frame;
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long left_over = 0;
        unsigned char *data = nullptr;
        XWindowAttributes attributes{};
        Window child = 0;
        int left = 0;
        int top = 0;
        if (XGetWindowProperty(x, window, XInternAtom(x, "_NET_FRAME_EXTENTS", False), 0, 4, False, XA_CARDINAL,
                               &type, &format, &count, &left_over, &data) == Success
            && count == 4 && XGetWindowAttributes(x, window, &attributes)
            && XTranslateCoordinates(x, window, attributes.root, 0, 0, &left, &top, &child)) {
            const long *extents = reinterpret_cast<const long *>(data); // left, right, top, bottom
            frame = QRect(left - int(extents[0]), top - int(extents[2]),
                          attributes.width + int(extents[0] + extents[1]),
                          attributes.height + int(extents[2] + extents[3]));
        }
        if (data)
            XFree(data);
        XCloseDisplay(x);
        return frame;
    }

    void close_window()
    {
        // What a window manager's close box sends: WM_DELETE_WINDOW.
        Display *x = XOpenDisplay(display_.toLatin1().constData());
        QVERIFY(x);
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = Window(window_id_.toULong());
        event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(x, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(x, event.xclient.window, False, NoEventMask, &event);
        XFlush(x);
        XCloseDisplay(x);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        const QString binary = qEnvironmentVariable("KESTRUNE_BINARY");
        QVERIFY2(QFile::exists(binary), "KESTRUNE_BINARY names no program");

        display_ = u":"_s + QString::number(120 + 2 * (::getpid() % 150));
        start_display(xvfb_, display_);

        char name[128];
        QCOMPARE(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        slave_name_ = QString::fromLocal8Bit(name);
        termios raw{};
        QCOMPARE(::tcgetattr(slave_, &raw), 0);
        ::cfmakeraw(&raw); // no echo of what is written before the program opens the line
        QCOMPARE(::tcsetattr(slave_, TCSANOW, &raw), 0);
        QVERIFY(QDir().mkpath(dir_.filePath(u"config/kestrune/ports"_s)));
        QVERIFY(QFile::link(slave_name_, dir_.filePath(u"config/kestrune/ports/COM1"_s)));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, display_);
        env.insert(u"XDG_CONFIG_HOME"_s, dir_.filePath(u"config"_s));
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        env.remove(u"QT_QPA_PLATFORMTHEME"_s);
        app_.setProcessEnvironment(env);
        app_.setProcessChannelMode(QProcess::ForwardedChannels);
        app_.start(binary, {});
        QVERIFY(app_.waitForStarted());
        window_id_ = xdotool({u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s, u"^Kestrune"_s});
        window_id_ = window_id_.section(u'\n', 0, 0);
        QVERIFY2(!window_id_.isEmpty(), "the window did not appear");
    }

    void cleanupTestCase()
    {
        if (app_.state() != QProcess::NotRunning) {
            app_.kill();
            app_.waitForFinished();
        }
        xvfb_.terminate();
        xvfb_.waitForFinished();
        if (master_ >= 0)
            ::close(master_);
        if (slave_ >= 0)
            ::close(slave_);
    }

    void opens_centred_and_closed()
    {
        QCOMPARE(title(), u"Kestrune  状态:关闭"_s);
        const QString geometry = xdotool({u"getwindowgeometry"_s, window_id_});
        QVERIFY2(geometry.contains(u"Position: 219,124"_s), qPrintable(geometry)); // (1280-842)/2, (800-552)/2
        QVERIFY2(geometry.contains(u"Geometry: 842x552"_s), qPrintable(geometry));
    }

    void open_send_receive_save_and_close()
    {
        // Bytes that reach the device before the open are never shown.
        QCOMPARE(::write(master_, "zz", 2), 2);
        QTest::qWait(200);

        click({589, 13, 80, 24}); // 串口按钮
        QTRY_COMPARE_WITH_TIMEOUT(title(), u"Kestrune  状态:开启"_s, 10000);

        click({363, 72, 296, 368}); // 发送编辑框
        xdotool({u"type"_s, u"--delay"_s, u"20"_s, u"41 42 0d"_s});
        click({592, 447, 73, 24}); // 发送按钮
        QCOMPARE(read_available(master_, 5000), QByteArray("AB\r"));

        QCOMPARE(::write(master_, "OK\r\n", 4), 4);
        QTest::qWait(500);

        // Save the receive box through the real dialog; its name field has the focus.
        const QString path = dir_.filePath(u"received"_s);
        click({100, 479, 87, 24}); // 保存接收按钮
        QTest::qWait(1500);
        xdotool({u"type"_s, u"--delay"_s, u"20"_s, path});
        xdotool({u"key"_s, u"Return"_s});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path + u".txt"_s), 10000);
        QFile saved(path + u".txt"_s);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("4F 4B 0D 0A "));

        click({589, 13, 80, 24}); // 串口按钮 again closes
        QTRY_COMPARE_WITH_TIMEOUT(title(), u"Kestrune  状态:关闭"_s, 10000);
    }

    void with_a_window_manager_the_whole_frame_is_842_by_552_and_centred()
    {
        const QString openbox = QStandardPaths::findExecutable(u"openbox"_s);
        QVERIFY2(!openbox.isEmpty(), "openbox is not installed (scripts/setup installs it)");
        const QString display = u":"_s + QString::number(display_.mid(1).toInt() + 1);
        QProcess xvfb;
        QProcess window_manager;
        QProcess app;
        start_display(xvfb, display);
        QProcessEnvironment env = app_.processEnvironment();
        env.insert(u"DISPLAY"_s, display);
        window_manager.setProcessEnvironment(env);
        window_manager.start(openbox, {});
        QVERIFY(window_manager.waitForStarted());
        QTest::qWait(1000); // the window manager takes over the screen
        app.setProcessEnvironment(env);
        app.start(qEnvironmentVariable("KESTRUNE_BINARY"), {});
        QVERIFY(app.waitForStarted());
        const QString window = xdotool_on(display, {u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s,
                                                    u"^Kestrune"_s}).section(u'\n', 0, 0);
        // (1280 - 842) / 2, (800 - 552) / 2
        QTRY_COMPARE_WITH_TIMEOUT(frame_geometry(display, window), QRect(219, 124, 842, 552), 10000);
        app.kill();
        app.waitForFinished();
        window_manager.kill();
        window_manager.waitForFinished();
        xvfb.terminate();
        xvfb.waitForFinished();
    }

    void closing_with_the_line_open_ends_the_program_and_frees_the_device()
    {
        click({589, 13, 80, 24});
        QTRY_COMPARE_WITH_TIMEOUT(title(), u"Kestrune  状态:开启"_s, 10000);
        close_window();
        QVERIFY(app_.waitForFinished(10000));
        QCOMPARE(app_.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app_.exitCode(), 0);
        // Nobody holds the device any more.
        const int fd = ::open(slave_name_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        ::close(fd);
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_end_to_end.moc"
