// SPDX-License-Identifier: MIT
#include "x_display.h"

#include <QFile>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace Qt::StringLiterals;

namespace kestrune::bench {

namespace {

Display *display_of(void *x) { return static_cast<Display *>(x); }

// Windows come and go under the harness's feet; a request about one that has
// just gone is not a failure of the harness.
int ignore_x_error(Display *, XErrorEvent *) { return 0; }

QString window_title(Display *x, Window window)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long left_over = 0;
    unsigned char *data = nullptr;
    QString title;
    const Atom net_wm_name = XInternAtom(x, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(x, "UTF8_STRING", False);
    if (XGetWindowProperty(x, window, net_wm_name, 0, 1024, False, utf8, &type, &format, &count, &left_over,
                           &data) == Success
        && data && type == utf8)
        title = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(count));
    if (data)
        XFree(data);
    if (title.isEmpty()) {
        char *name = nullptr;
        if (XFetchName(x, window, &name) && name)
            title = QString::fromLocal8Bit(name);
        if (name)
            XFree(name);
    }
    return title;
}

} // namespace

XDisplay::~XDisplay()
{
    if (x_)
        XCloseDisplay(display_of(x_));
    if (xvfb_.state() != QProcess::NotRunning) {
        xvfb_.terminate();
        if (!xvfb_.waitForFinished(5000))
            xvfb_.kill();
        xvfb_.waitForFinished();
    }
}

bool XDisplay::start(QString &error)
{
    XSetErrorHandler(ignore_x_error);
    for (int number = 90; number < 200; ++number) {
        const QString socket = u"/tmp/.X11-unix/X"_s + QString::number(number);
        if (QFile::exists(socket) || QFile::exists(u"/tmp/.X%1-lock"_s.arg(number)))
            continue;
        name_ = u":"_s + QString::number(number);
        xvfb_.setProcessChannelMode(QProcess::MergedChannels);
        xvfb_.setStandardOutputFile(QProcess::nullDevice());
        xvfb_.start(u"Xvfb"_s, {name_, u"-screen"_s, u"0"_s, u"1280x800x24"_s, u"-nolisten"_s, u"tcp"_s, u"-br"_s,
                                u"-noreset"_s});
        if (!xvfb_.waitForStarted()) {
            error = u"Xvfb did not start: "_s + xvfb_.errorString();
            return false;
        }
        for (int wait = 0; wait < 1000 && xvfb_.state() == QProcess::Running; ++wait) {
            if (QFile::exists(socket)) {
                x_ = XOpenDisplay(name_.toLatin1().constData());
                if (x_)
                    return true;
            }
            QThread::msleep(10);
        }
        // Another server took this number first; try the next one.
        xvfb_.kill();
        xvfb_.waitForFinished();
    }
    error = u"no free X display number between :90 and :199"_s;
    return false;
}

QProcessEnvironment XDisplay::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, name_);
    return env;
}

WindowId XDisplay::find_window(const QRegularExpression &title) const
{
    Display *x = display_of(x_);
    Window root = 0;
    Window parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    WindowId found = 0;
    if (!XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count))
        return 0;
    // Without a window manager every top-level window is a child of the root.
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(x, children[i], &attributes) || attributes.map_state != IsViewable
            || attributes.override_redirect)
            continue;
        if (title.match(window_title(x, children[i])).hasMatch())
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

QString XDisplay::title(WindowId window) const
{
    return window_title(display_of(x_), Window(window));
}

bool XDisplay::is_painted(WindowId window) const
{
    Display *x = display_of(x_);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(x, Window(window), &attributes) || attributes.map_state != IsViewable)
        return false;
    // Sixteen rows across the window, not the whole of it: a whole image costs the
    // X server and the harness some 13 ms, taken from the program starting beside them.
    constexpr int rows = 16;
    bool have_first = false;
    unsigned long first = 0;
    for (int row = 0; row < rows; ++row) {
        const int y = (2 * row + 1) * attributes.height / (2 * rows);
        XImage *image = XGetImage(x, Window(window), 0, y, unsigned(attributes.width), 1, AllPlanes, ZPixmap);
        if (!image)
            return false;
        bool uniform = true;
        for (int px = 0; px < image->width && uniform; ++px) {
            const unsigned long pixel = XGetPixel(image, px, 0);
            if (!have_first) {
                first = pixel;
                have_first = true;
            }
            uniform = pixel == first;
        }
        XDestroyImage(image);
        if (!uniform)
            return true;
    }
    return false;
}

bool XDisplay::run_tool(const QString &tool, const QStringList &arguments, QString *output) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(tool, arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void XDisplay::click(WindowId window, QRect control) const
{
    const QPoint at = control.center();
    run_tool(u"xdotool"_s, {u"mousemove"_s, u"--window"_s, QString::number(window), QString::number(at.x()),
                            QString::number(at.y()), u"click"_s, u"1"_s});
}

void XDisplay::point_at(WindowId window, QPoint at) const
{
    run_tool(u"xdotool"_s, {u"mousemove"_s, u"--window"_s, QString::number(window), QString::number(at.x()),
                            QString::number(at.y())});
}

void XDisplay::keys(const QStringList &keys) const
{
    run_tool(u"xdotool"_s, QStringList{u"key"_s, u"--delay"_s, u"50"_s} + keys);
}

void XDisplay::type(const QString &text) const
{
    run_tool(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"20"_s, text});
}

void XDisplay::close(WindowId window) const
{
    Display *x = display_of(x_);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = Window(window);
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x, Window(window), False, NoEventMask, &event);
    XFlush(x);
}

bool XDisplay::screenshot(WindowId window, const QString &path) const
{
    return run_tool(u"import"_s, {u"-window"_s, QString::number(window), path});
}

} // namespace kestrune::bench
