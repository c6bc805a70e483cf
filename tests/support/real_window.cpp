// SPDX-License-Identifier: MIT
#include "real_window.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <QSerialPort>
#include <QTest>

#include <X11/Xlib.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace kestrune::test {

VirtualDisplay::~VirtualDisplay()
{
    if (server_.state() != QProcess::NotRunning) {
        server_.terminate();
        server_.waitForFinished(5000);
    }
}

bool VirtualDisplay::start()
{
    // The server picks a free display number and writes it to its output.
    server_.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x800x24"_s,
                               u"-nolisten"_s, u"tcp"_s});
    if (!server_.waitForStarted())
        return false;
    QByteArray number;
    while (!number.contains('\n') && server_.waitForReadyRead(10000))
        number += server_.readAllStandardOutput();
    if (!number.contains('\n'))
        return false;
    name_ = u":"_s + QString::fromLatin1(number.trimmed());
    return true;
}

RealWindow::RealWindow(const QString &display) : display_(display) {}

RealWindow::~RealWindow()
{
    if (program_.state() != QProcess::NotRunning) {
        program_.kill();
        program_.waitForFinished();
    }
}

bool RealWindow::start()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, display_);
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.remove(u"QT_QPA_PLATFORMTHEME"_s);
    program_.setProcessEnvironment(env);
    program_.setProcessChannelMode(QProcess::ForwardedChannels);
    program_.start(qEnvironmentVariable("KESTRUNE_BINARY"), {});
    if (!program_.waitForStarted())
        return false;
    window_ = xdotool(display_, {u"search"_s, u"--all"_s, u"--sync"_s, u"--onlyvisible"_s, u"--pid"_s,
                                   QString::number(program_.processId()), u"--name"_s, u"^Kestrune"_s})
                   .section(u'\n', 0, 0);
    return !window_.isEmpty();
}

QString RealWindow::xdotool(const QString &display, const QStringList &arguments)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, display);
    p.setProcessEnvironment(env);
    p.start(u"xdotool"_s, arguments);
    p.waitForFinished(60000); // a loaded machine may take its time to map a new window
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

QString RealWindow::title()
{
    return xdotool(display_, {u"getwindowname"_s, window_});
}

void RealWindow::click(QRect control)
{
    const QPoint middle = control.center();
    xdotool(display_, {u"mousemove"_s, u"--window"_s, window_, QString::number(middle.x()),
                        QString::number(middle.y()), u"click"_s, u"1"_s});
}

void RealWindow::type(const QString &text)
{
    xdotool(display_, {u"type"_s, u"--delay"_s, u"20"_s, text});
}

void RealWindow::key(const QString &keys)
{
    xdotool(display_, {u"key"_s, keys});
}

void RealWindow::replace_text(QRect box, const QString &text)
{
    click(box);
    key(u"ctrl+a"_s);
    type(text);
}

QByteArray RealWindow::save_receive_box(const QString &path)
{
    click(at::保存接收按钮);
    QTest::qWait(1500); // the dialog opens with the focus in its name field
    type(path);
    key(u"Return"_s);
    QFile saved(path + u".txt"_s);
    if (!QTest::qWaitFor([&] { return saved.exists(); }, 10000) || !saved.open(QIODevice::ReadOnly))
        return "(no file)";
    return saved.readAll();
}

void RealWindow::close()
{
    Display *x = XOpenDisplay(display_.toLatin1().constData());
    if (!x)
        return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = Window(window_.toULong());
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x, event.xclient.window, False, NoEventMask, &event);
    XFlush(x);
    XCloseDisplay(x);
}

double RealWindow::cpu_seconds() const
{
    QFile stat(u"/proc/"_s + QString::number(program_.processId()) + u"/stat"_s);
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    return (fields[11].toDouble() + fields[12].toDouble()) / ticks; // utime, stime
}

int RealWindow::thread_count() const
{
    return int(QDir(u"/proc/"_s + QString::number(program_.processId()) + u"/task"_s)
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

QString device_taken(const QString &path)
{
    QSerialPort other;
    other.setPortName(path);
    if (!other.open(QIODevice::ReadWrite))
        return u"another program cannot open it: "_s + other.errorString();
    other.close();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return u"it cannot be opened"_s;
    int exclusive = 0;
    QString taken;
    // The UUCP lock name: /dev/pts/3 is LCK..pts_3.
    const QString lock = u"/var/lock/LCK.."_s + path.mid(5).replace(u'/', u'_');
    if (path.startsWith(u"/dev/"_s) && QFile::exists(lock))
        taken = u"its lock file is left behind"_s;
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        taken = u"it is locked"_s;
    else if (::ioctl(fd, TIOCGEXCL, &exclusive) != 0 || exclusive != 0)
        taken = u"it is left in exclusive mode"_s;
    ::close(fd);
    return taken;
}

} // namespace kestrune::test
