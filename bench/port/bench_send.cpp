// SPDX-License-Identifier: MIT
// What one SerialPort::send of one byte costs on a pseudo-terminal, until the
// event loop has written it, against a bare write(2) of one byte on the same
// device. Prints medians and their ratio.

#include "port/serial_port.h"
#include "pty_pair.h"

#include <QCoreApplication>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using clock_type = std::chrono::steady_clock;

struct Figures
{
    double median_us, p90_us, p99_us;
};

// Times `count` calls one by one after a warm-up.
Figures time_calls(int count, const std::function<bool()> &call)
{
    for (int i = 0; i < 1000; ++i)
        call();
    std::vector<double> us(static_cast<size_t>(count));
    int failed = 0;
    for (double &sample : us) {
        const auto start = clock_type::now();
        if (!call())
            ++failed;
        sample = std::chrono::duration<double, std::micro>(clock_type::now() - start).count();
    }
    if (failed != 0)
        std::printf("  (%d calls failed)\n", failed);
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 9 / 10], us[us.size() * 99 / 100]};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 100000;

    const kestrune::test::PtyPair pty;
    if (!pty.is_valid()) {
        std::perror("openpty");
        return 1;
    }
    const int master = pty.master();
    // The other end reads everything, so the output buffer never fills.
    std::atomic<bool> stop{false};
    std::thread drain([&] {
        char buffer[65536];
        while (!stop) {
            pollfd fd{master, POLLIN, 0};
            if (::poll(&fd, 1, 50) > 0 && ::read(master, buffer, sizeof buffer) < 0)
                break;
        }
    });

    kestrune::test::PortLinks links;
    links.bind(1, pty.slave_path());

    kestrune::SerialPort port;
    port.set_baud_rate(460800);
    if (!port.open()) {
        std::printf("open failed: %s\n", qPrintable(port.open_failure()));
        return 1;
    }
    int value = 0;
    // A send returns at once; the byte leaves from the event loop.
    const Figures send = time_calls(count, [&] {
        port.send(QByteArray(1, char(++value)));
        while (port.is_sending())
            QCoreApplication::processEvents();
        return true;
    });
    port.close();

    const int fd = ::open(QFile::encodeName(pty.slave_path()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const Figures bare = time_calls(count, [&] {
        const char byte = char(++value);
        return ::write(fd, &byte, 1) == 1;
    });
    ::close(fd);

    stop = true;
    drain.join();

    std::printf("one-byte send on a pty, %d calls each (microseconds)\n", count);
    std::printf("  send until written median %6.2f  p90 %6.2f  p99 %6.2f\n", send.median_us, send.p90_us, send.p99_us);
    std::printf("  bare write(2)            median %6.2f  p90 %6.2f  p99 %6.2f\n", bare.median_us, bare.p90_us, bare.p99_us);
    std::printf("  ratio send/write   %.2f\n", send.median_us / bare.median_us);
    std::printf("  one byte at 460800 baud (10 bits) takes %.1f us on a real line\n", 10e6 / 460800);
    return 0;
}
