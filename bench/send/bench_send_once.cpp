// One send of a 1 MB send box in text mode into a pty: how fast the bytes leave
// and how long send_once holds the thread, against a bare loop of the same writes.

#include "pty_line.h"
#include "send/send_command.h"
#include "text/gbk.h"

#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;
using kestrune::test::PtyLine;

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

// Reads the far end of the pty on its own thread, so the writes never block on a full buffer.
class Drain
{
public:
    Drain(int fd, qsizetype expected)
        : thread_([this, fd, expected] {
              char chunk[65536];
              while (received_ < expected) {
                  pollfd p{fd, POLLIN, 0};
                  if (::poll(&p, 1, 5000) <= 0)
                      break;
                  const ssize_t n = ::read(fd, chunk, sizeof chunk);
                  if (n > 0)
                      received_ += n;
              }
          })
    {
    }
    qsizetype join()
    {
        thread_.join();
        return received_;
    }

private:
    std::atomic<qsizetype> received_{0};
    std::thread thread_;
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

} // namespace

int main()
{
    const QByteArray box = make_box();
    std::vector<double> command_ms;
    std::vector<double> bare_ms;

    for (int run = 0; run < runs; ++run) {
        {
            PtyLine pty;
            if (!pty.is_valid()) {
                std::fprintf(stderr, "openpty failed\n");
                return 1;
            }
            BenchControls controls(box);
            kestrune::ProgramState state;
            kestrune::SendCommand command(controls, pty, state);
            Drain drain(pty.master(), box.size());
            QElapsedTimer clock;
            clock.start();
            command.send_once();
            command_ms.push_back(double(clock.nsecsElapsed()) / 1e6);
            const qsizetype received = drain.join();
            if (received != box.size() || state.sent_count != box.size()) {
                std::fprintf(stderr, "lost bytes: %lld sent, %lld received\n", qint64(state.sent_count), qint64(received));
                return 1;
            }
        }
        {
            // The same one-byte writes without the command around them.
            PtyLine pty;
            Drain drain(pty.master(), box.size());
            QElapsedTimer clock;
            clock.start();
            for (char byte : box)
                pty.send(quint8(byte));
            bare_ms.push_back(double(clock.nsecsElapsed()) / 1e6);
            drain.join();
        }
    }

    const double command = median(command_ms);
    const double bare = median(bare_ms);
    QTextStream out(stdout);
    out << "send_once, text mode, " << box.size() << " bytes into a pty, median of " << runs << " runs\n";
    out << "  thread held by send_once: " << QString::number(command, 'f', 1) << " ms\n";
    out << "  bytes per second:         " << QString::number(box.size() / (command / 1000.0), 'f', 0) << '\n';
    out << "  bare write loop:          " << QString::number(bare, 'f', 1) << " ms\n";
    out << "  send_once / bare loop:    " << QString::number(command / bare, 'f', 3) << '\n';
    return 0;
}
