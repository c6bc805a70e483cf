// SPDX-License-Identifier: MIT
// One send of a 1 MB send box in text mode through the real port into a pty: how
// fast the bytes leave, against a bare loop of the same one-byte writes, and the
// longest the event loop is held meanwhile, with a fast far end and with one
// that reads 960 bytes a second (a 9600 baud line).

#include "far_end.h"
#include "pty_line.h"
#include "send/send_command.h"
#include "text/gbk.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;
using kestrune::test::FarEnd;
using kestrune::test::PtyLine;
using kestrune::test::PtyPair;

namespace {

constexpr qsizetype box_size = 1024 * 1024;
constexpr int runs = 5;
constexpr int slow_pace = 960;       // bytes a second
constexpr int slow_watch_ms = 10000; // 1 MB at that pace would take 18 minutes

class BenchControls : public kestrune::SendControls
{
public:
    explicit BenchControls(QByteArray text) : text_(std::move(text)) {}
    bool send_hex_checked() const override { return false; }
    QByteArray send_text() const override { return text_; }
    void show_sent_count(qint64) override {}
    bool send_button_disabled() const override { return false; }
    void show_auto_send(bool) override {}
    QString period_text() const override { return {}; }
    void set_send_timer_period(int) override {}

private:
    QByteArray text_;
};

// The longest gap between two turns of a 1 ms timer, less its period: how long
// the event loop was held at most.
class StallProbe
{
public:
    StallProbe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            const qint64 now = clock_.nsecsElapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
        clock_.start();
        timer_.start(1);
    }
    double longest_ms() const { return std::max(0.0, double(longest_) / 1e6 - 1.0); }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

QByteArray make_box()
{
    const QByteArray line = kestrune::edit_text_bytes(u"Kestrune 发送缓冲区 0123456789 ABCDEF\n");
    QByteArray box;
    box.reserve(box_size + line.size());
    while (box.size() < box_size)
        box.append(line);
    box.truncate(box_size);
    return box;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The send command over an open port, counting as the window does.
struct Sender
{
    explicit Sender(const QByteArray &box) : controls(box)
    {
        QObject::connect(&line.port(), &kestrune::SerialPort::bytes_written, &line.port(),
                         [this](qint64 count) { command.on_bytes_written(count); });
    }
    PtyLine line;
    BenchControls controls;
    kestrune::ProgramState state;
    kestrune::SendCommand command{controls, line.port(), state};
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray box = make_box();
    std::vector<double> send_ms;
    std::vector<double> return_us;
    std::vector<double> stall_ms;
    std::vector<double> bare_ms;

    for (int run = 0; run < runs; ++run) {
        {
            Sender sender(box);
            if (!sender.line.is_open()) {
                std::fprintf(stderr, "the port did not open on a pty\n");
                return 1;
            }
            const FarEnd far(sender.line.master());
            QEventLoop loop;
            QObject::connect(&sender.line.port(), &kestrune::SerialPort::bytes_written, &loop, [&] {
                if (sender.state.sent_count == box.size())
                    loop.quit();
            });
            QTimer::singleShot(60000, &loop, &QEventLoop::quit);
            const StallProbe probe;
            QElapsedTimer clock;
            clock.start();
            sender.command.send_once();
            return_us.push_back(double(clock.nsecsElapsed()) / 1e3);
            loop.exec();
            send_ms.push_back(double(clock.nsecsElapsed()) / 1e6);
            stall_ms.push_back(probe.longest_ms());
            QTimer::singleShot(200, &loop, &QEventLoop::quit);
            loop.exec();
            if (far.received_size() != box.size() || sender.state.sent_count != box.size()) {
                std::fprintf(stderr, "lost bytes: %lld counted, %lld received\n", qint64(sender.state.sent_count),
                             qint64(far.received_size()));
                return 1;
            }
        }
        {
            // The same one-byte writes in a bare loop, as the send once did on the window thread.
            const PtyPair pty;
            const FarEnd far(pty.master());
            QElapsedTimer clock;
            clock.start();
            for (const char byte : box)
                if (::write(pty.slave(), &byte, 1) != 1)
                    return 1;
            bare_ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
    }

    // The same probe with nothing to send: what the machine itself costs the loop.
    double idle_stall = 0;
    {
        QEventLoop loop;
        const StallProbe probe;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
        idle_stall = probe.longest_ms();
    }

    // A far end at 960 bytes a second: watch the loop for a while, then close mid-send.
    double slow_stall = 0;
    qint64 slow_written = 0;
    double close_ms = 0;
    {
        Sender sender(box);
        const FarEnd far(sender.line.master(), slow_pace);
        QEventLoop loop;
        const StallProbe probe;
        sender.command.send_once();
        QTimer::singleShot(slow_watch_ms, &loop, &QEventLoop::quit);
        loop.exec();
        slow_stall = probe.longest_ms();
        QElapsedTimer clock;
        clock.start();
        sender.line.port().close();
        close_ms = double(clock.nsecsElapsed()) / 1e6;
        slow_written = sender.state.sent_count;
    }

    const double send = median(send_ms);
    const double bare = median(bare_ms);
    QTextStream out(stdout);
    out << "send_once, text mode, " << box.size() << " bytes through SerialPort into a pty, median of " << runs
        << " runs\n";
    out << "  send_once returns after:     " << QString::number(median(return_us), 'f', 1) << " us\n";
    out << "  all bytes written after:     " << QString::number(send, 'f', 1) << " ms\n";
    out << "  bytes per second:            " << QString::number(box.size() / (send / 1000.0), 'f', 0) << '\n';
    out << "  bare write loop:             " << QString::number(bare, 'f', 1) << " ms\n";
    out << "  send / bare loop:            " << QString::number(send / bare, 'f', 3) << '\n';
    out << "  longest event-loop stall:    " << QString::number(median(stall_ms), 'f', 1) << " ms (median), "
        << QString::number(*std::max_element(stall_ms.begin(), stall_ms.end()), 'f', 1) << " ms (worst run)\n";
    out << "  (idle loop, nothing to send: " << QString::number(idle_stall, 'f', 1) << " ms)\n";
    out << "far end reading " << slow_pace << " bytes a second, watched for " << slow_watch_ms / 1000 << " s\n";
    out << "  longest event-loop stall:    " << QString::number(slow_stall, 'f', 1) << " ms\n";
    out << "  bytes written meanwhile:     " << slow_written << '\n';
    out << "  close with the send under way: " << QString::number(close_ms, 'f', 1) << " ms\n";
    return 0;
}
