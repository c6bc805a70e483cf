// SPDX-License-Identifier: MIT
#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, kill, Ctrl+C in the terminal that started
// the program) end it the way closing the window does, so that an open line is
// closed, its lock file removed and the exit step run.

#include <QObject>

class QSocketNotifier;

namespace kestrune {

class StopSignals : public QObject
{
    Q_OBJECT
public:
    // One per process: installs the handlers; they stay for the process's life.
    explicit StopSignals(QObject *parent = nullptr);

Q_SIGNALS:
    // On the thread of this object, from its event loop, after a stop signal.
    void stop_requested();

private:
    QSocketNotifier *notifier_; // owned as a child
};

} // namespace kestrune
