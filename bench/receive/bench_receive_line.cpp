// SPDX-License-Identifier: MIT
// From the line to the screen: bytes written into a pseudo-terminal arrive
// through kestrune::SerialPort (port named COM1 by a link to the pty), go
// through the handler into the receive box shown offscreen, with the count in
// its count box. A 10 ms timer on the window thread probes how late events run.
// Prints rates, CPU use and probe lateness; the targets are in the labels.

#include "bench_common.h"
#include "pty_pair.h"
#include "port/serial_port.h"
#include "text/gbk.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <thread>

using namespace Qt::StringLiterals;
using namespace bench;

namespace {

void write_all(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, std::size_t(size));
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) { // the master does not block
            pollfd room{fd, POLLOUT, 0};
            ::poll(&room, 1, 1000);
            continue;
        }
        if (n <= 0)
            return;
        data += n;
        size -= n;
    }
}

// Lateness of a 10 ms timer, in milliseconds past its period.
struct Probe {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last_ns = 0;
    std::vector<double> late_ms;

    Probe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            const qint64 now = clock.nsecsElapsed();
            late_ms.push_back(std::max(0.0, double(now - last_ns) / 1e6 - 10.0));
            last_ns = now;
        });
    }
    void start()
    {
        late_ms.clear();
        clock.start();
        last_ns = 0;
        timer.start();
    }
    void stop() { timer.stop(); }
};

struct Run {
    double seconds;
    double cpu;        // the whole process: window thread and the port's receive thread
    double window_cpu; // the window thread alone
    double late_p99;
    double late_max;
};

double thread_cpu_seconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The far end of the line is another process, so that its writing is not
// counted as ours: bytes paced at bytes_per_second, or as fast as the pty takes
// them when 0.
pid_t start_writer(int master, const QByteArray &bytes, double bytes_per_second)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    if (bytes_per_second <= 0) {
        write_all(master, bytes.constData(), bytes.size());
        _exit(0);
    }
    // Small pieces every millisecond, as a UART driver hands them up.
    const auto start = clock_type::now();
    qsizetype sent = 0;
    for (int tick = 1; sent < bytes.size(); ++tick) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(tick));
        const auto due = qsizetype(bytes_per_second * tick / 1000.0);
        const qsizetype n = std::min(due, bytes.size()) - sent;
        write_all(master, bytes.constData() + sent, n);
        sent += n;
    }
    _exit(0);
}

// Writes bytes into the pty (paced at bytes_per_second, or as fast as it takes
// them when 0) and runs the event loop until the handler has counted them all.
Run run(ReceiveArea &area, kestrune::SerialPort &port, int master, const QByteArray &bytes, double bytes_per_second)
{
    area.box->clear();
    area.state.received_count = 0;
    area.chunks = 0;
    area.longest_chunk_s = 0;
    area.longest_chunk_bytes = 0;
    const qint64 target = bytes.size();
    QEventLoop loop;
    const QMetaObject::Connection done = QObject::connect(&port, &kestrune::SerialPort::bytes_received, &loop, [&] {
        if (area.state.received_count >= target)
            loop.quit();
    });
    Probe probe;
    probe.start();
    const double cpu_start = cpu_seconds();
    const double window_start = thread_cpu_seconds();
    const auto start = clock_type::now();
    const pid_t writer = start_writer(master, bytes, bytes_per_second);
    loop.exec();
    const double seconds = seconds_since(start);
    const double cpu = cpu_seconds() - cpu_start;
    const double window_cpu = thread_cpu_seconds() - window_start;
    waitpid(writer, nullptr, 0);
    probe.stop();
    QObject::disconnect(done);
    return {seconds, cpu, window_cpu, percentile(probe.late_ms, 0.99),
            probe.late_ms.empty() ? 0 : *std::max_element(probe.late_ms.begin(), probe.late_ms.end())};
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qsizetype megabytes = argc > 1 ? QByteArray(argv[1]).toInt() : 16;
    const int paced_seconds = argc > 2 ? QByteArray(argv[2]).toInt() : 10;

    const kestrune::test::PtyPair pty;
    if (!pty.is_valid()) {
        std::perror("openpty");
        return 1;
    }
    const int master = pty.master();
    kestrune::test::PortLinks links;
    links.bind(1, pty.slave_path());

    ReceiveArea area;
    kestrune::SerialPort port(&area.window);
    port.set_baud_rate(460800);
    if (!port.open()) {
        std::printf("open failed: %s\n", qPrintable(port.open_failure()));
        return 1;
    }
    QObject::connect(&port, &kestrune::SerialPort::bytes_received, &area.window, [&area](const QByteArray &bytes) {
        if (!area.handling) {
            area.state.received_count += bytes.size();
            return;
        }
        const auto start = clock_type::now();
        area.handler.on_byte_received(bytes);
        const double took = seconds_since(start);
        ++area.chunks;
        if (took > area.longest_chunk_s) {
            area.longest_chunk_s = took;
            area.longest_chunk_bytes = bytes.size();
        }
    });
    QCoreApplication::processEvents();

    std::printf("pty -> SerialPort -> handler -> receive box (offscreen, %d x %d), %lld MB per run\n",
                area.box->width(), area.box->height(), qlonglong(megabytes));
    for (const bool hex : {true, false}) {
        if (megabytes == 0)
            break;
        area.hex = hex;
        const QByteArray bytes = hex ? byte_pattern(megabytes << 20) : text_pattern(megabytes << 20);
        std::vector<double> rates;
        Run last{};
        for (int i = 0; i < 3; ++i) {
            last = run(area, port, master, bytes, 0);
            rates.push_back(double(megabytes) / last.seconds);
        }
        std::printf("%s mode, as fast as the pty takes them: %.1f MB/s (target >= %d), median of 3; "
                    "probe late p99 %.1f ms, max %.1f ms\n",
                    hex ? "HEX " : "text", median(rates), hex ? 3 : 8, last.late_p99, last.late_max);
        std::printf("  last run: %lld chunks, the longest took %.1f ms for %lld bytes\n", qlonglong(area.chunks),
                    area.longest_chunk_s * 1e3, qlonglong(area.longest_chunk_bytes));
    }

    for (const int variant : {0, 1, 2}) {
        area.handling = variant != 0;
        area.count_once_a_frame = variant == 2;
        std::printf("at 46,080 B/s in 1 ms pieces, %d s each; %s:\n", paced_seconds,
                    variant == 0   ? "bytes only counted, no handler and no box (the port and the event loop alone)"
                    : variant == 1 ? "the window's count box given every chunk's count"
                                   : "the count box given at most one count a frame (40 ms)");
        for (const bool hex : {true, false}) {
            area.hex = hex;
            const double rate = 46080;
            const auto size = qsizetype(rate * paced_seconds);
            const QByteArray bytes = hex ? byte_pattern(size) : text_pattern(size);
            const Run paced = run(area, port, master, bytes, rate);
            std::printf("  %s mode: CPU %.1f%% of one core (target < 5): window thread %.1f%%, port thread %.1f%%; "
                        "probe late p99 %.1f ms (target <= 30), max %.1f ms\n",
                        hex ? "HEX " : "text", 100 * paced.cpu / paced.seconds, 100 * paced.window_cpu / paced.seconds,
                        100 * (paced.cpu - paced.window_cpu) / paced.seconds, paced.late_p99, paced.late_max);
        }
    }
    port.close();
    return 0;
}
