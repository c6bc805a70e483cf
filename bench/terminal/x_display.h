// SPDX-License-Identifier: MIT
#pragma once
// The virtual X display the measured program runs on: the harness's own Xvfb,
// one Xlib connection for looking at windows, and xdotool for input.

#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace kestrune::bench {

using WindowId = unsigned long; // an X window, kept out of Xlib's headers here

class XDisplay
{
public:
    XDisplay() = default;
    XDisplay(const XDisplay &) = delete;
    XDisplay &operator=(const XDisplay &) = delete;
    ~XDisplay();

    // Starts Xvfb on the first free display number from 90 on, with a black root
    // so that a window nobody has painted yet is one colour.
    bool start(QString &error);

    QString name() const { return name_; }
    qint64 server_pid() const { return xvfb_.processId(); }
    // DISPLAY set to this display, for the programs started on it.
    QProcessEnvironment environment() const;

    // The first viewable top-level window whose title matches, or 0.
    WindowId find_window(const QRegularExpression &title) const;
    QString title(WindowId window) const;
    // Viewable, and its pixels are not all one colour.
    bool is_painted(WindowId window) const;

    // Input as a user gives it: the pointer moves into the window and clicks the
    // middle of the control; keys go to whatever has the focus.
    void click(WindowId window, QRect control) const;
    void point_at(WindowId window, QPoint at) const;
    void keys(const QStringList &keys) const;
    void type(const QString &text) const;
    // What a window manager's close box sends: WM_DELETE_WINDOW.
    void close(WindowId window) const;
    bool screenshot(WindowId window, const QString &path) const;

private:
    bool run_tool(const QString &tool, const QStringList &arguments, QString *output = nullptr) const;

    QProcess xvfb_;
    QString name_;
    void *x_ = nullptr; // Display *
};

} // namespace kestrune::bench
