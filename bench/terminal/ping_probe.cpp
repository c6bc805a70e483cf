// SPDX-License-Identifier: MIT
#include "ping_probe.h"

#include "process_figures.h"

#include <X11/Xlib.h>

#include <poll.h>

#include <algorithm>
#include <cmath>

namespace kestrune::bench {

PingProbe::PingProbe(const QString &display, WindowId window, int interval_ms)
    : display_(display.toLatin1()), window_(window), interval_ms_(interval_ms)
{
    std::atomic<int> ready{0};
    thread_ = std::thread([this, &ready] {
        Display *x = XOpenDisplay(display_.constData());
        connected_ = x != nullptr;
        if (x) {
            // Answers go to the root with SubstructureRedirect and, by toolkit, Structure-
            // (Qt) or SubstructureNotify (GTK) in their mask; Redirect is a window manager's.
            XSelectInput(x, DefaultRootWindow(x), StructureNotifyMask | SubstructureNotifyMask);
            XSync(x, False);
        }
        ready = 1;
        ready.notify_one();
        if (!x)
            return;
        const Atom protocols = XInternAtom(x, "WM_PROTOCOLS", False);
        const Atom ping = XInternAtom(x, "_NET_WM_PING", False);
        const double interval = interval_ms_ / 1000.0;
        double next = now_seconds();
        double stop_at = -1;
        long outstanding = 0;
        while (true) {
            double now = now_seconds();
            if (stopping_ && stop_at < 0)
                stop_at = now;
            if (stop_at >= 0 && (outstanding == 0 || now > stop_at + 1.0))
                break;
            if (stop_at < 0 && now >= next) {
                XEvent event{};
                event.xclient.type = ClientMessage;
                event.xclient.window = Window(window_);
                event.xclient.message_type = protocols;
                event.xclient.format = 32;
                event.xclient.data.l[0] = long(ping);
                event.xclient.data.l[1] = long(pings_.size() + 1); // stands for the timestamp: the ping's number
                event.xclient.data.l[2] = long(window_);
                XSendEvent(x, Window(window_), False, NoEventMask, &event);
                XFlush(x);
                pings_.push_back({now, -1});
                ++outstanding;
                next = std::max(next + interval, now); // a late send is not made up with a burst
            }
            while (XPending(x) > 0) {
                XEvent event{};
                XNextEvent(x, &event);
                if (event.type != ClientMessage || event.xclient.message_type != protocols
                    || Atom(event.xclient.data.l[0]) != ping || WindowId(event.xclient.data.l[2]) != window_)
                    continue;
                const long number = event.xclient.data.l[1];
                if (number >= 1 && number <= long(pings_.size()) && pings_[std::size_t(number - 1)].answered < 0) {
                    pings_[std::size_t(number - 1)].answered = now_seconds();
                    --outstanding;
                }
            }
            now = now_seconds();
            const double wait = stop_at >= 0 ? 0.01 : std::max(0.0, next - now);
            pollfd p{ConnectionNumber(x), POLLIN, 0};
            ::poll(&p, 1, int(std::ceil(wait * 1000)));
        }
        XCloseDisplay(x);
    });
    ready.wait(0);
}

PingProbe::~PingProbe()
{
    stop();
}

std::vector<PingProbe::Ping> PingProbe::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    return pings_;
}

std::vector<double> ping_delays_ms(const std::vector<PingProbe::Ping> &pings, double from, double to)
{
    std::vector<double> delays;
    for (const PingProbe::Ping &p : pings) {
        if (p.sent < from || p.sent >= to)
            continue;
        const double answered = p.answered >= 0 ? p.answered : std::max(to, p.sent);
        delays.push_back((answered - p.sent) * 1000);
    }
    return delays;
}

} // namespace kestrune::bench
