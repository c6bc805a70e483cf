// One send of a 1 MB send box in text mode through the real port into a pty: how
// fast the bytes leave, against a bare loop of the same one-byte writes.

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
            QElapsedTimer clock;
            clock.start();
            sender.command.send_once();
            return_us.push_back(double(clock.nsecsElapsed()) / 1e3);
            loop.exec();
            send_ms.push_back(double(clock.nsecsElapsed()) / 1e6);
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
    return 0;
}
