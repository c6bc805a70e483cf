// SPDX-License-Identifier: MIT
#pragma once
// How late a program's event loop runs, asked the way window managers ask:
// a _NET_WM_PING client message every interval, answered by the toolkit from
// its event loop by sending the message back to the root window. Runs on its
// own thread and its own X connection.

#include "x_display.h"

#include <QString>

#include <atomic>
#include <thread>
#include <vector>

namespace kestrune::bench {

class PingProbe
{
public:
    struct Ping {
        double sent;     // now_seconds() when it was sent
        double answered; // when the answer came back, or -1
    };

    PingProbe(const QString &display, WindowId window, int interval_ms);
    PingProbe(const PingProbe &) = delete;
    PingProbe &operator=(const PingProbe &) = delete;
    ~PingProbe();

    // Stops pinging, waits a moment for the answers still due, and returns every ping.
    std::vector<Ping> stop();
    bool connected() const { return connected_; }

private:
    void run();

    QByteArray display_;
    WindowId window_;
    int interval_ms_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> connected_{false};
    std::vector<Ping> pings_; // the probe thread's until it is joined
    std::thread thread_;
};

// Delays in milliseconds of the pings sent in [from, to); a ping never
// answered counts as answered at `to`, so a stalled loop is not hidden.
std::vector<double> ping_delays_ms(const std::vector<PingProbe::Ping> &pings, double from, double to);

} // namespace kestrune::bench
