// SPDX-License-Identifier: MIT
#include "app/stop_signals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrune {

namespace {

// The handler may only write to a descriptor; the event loop reads the other end.
int signal_pipe[2] = {-1, -1};

void on_stop_signal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signal_pipe[1], &byte, 1);
}

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (signal_pipe[0] < 0)
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signal_pipe);
    notifier_ = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(signal_pipe[0], bytes, sizeof bytes) > 0) {
        }
        Q_EMIT stop_requested();
    });

    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace kestrune
