// SPDX-License-Identifier: MIT
#pragma once
// The window as the send command sees it, with real state, over a real port on
// a pty whose far end reads on a thread of its own.

#include "far_end.h"
#include "pty_line.h"
#include "send/period_timer.h"
#include "send/send_command.h"
#include "send/send_controls.h"
#include "text/decimal.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTest>

#include <optional>

namespace kestrune::test {

using namespace Qt::StringLiterals;

class FakeSendControls : public SendControls
{
public:
    FakeSendControls() { clock.start(); }

    bool send_hex_checked() const override { return hex; }
    QByteArray send_text() const override { return text; }
    void show_sent_count(qint64 count) override
    {
        sent_box = signed_decimal(count);
        sent_box_times.append(clock.elapsed());
    }
    bool send_button_disabled() const override { return send_disabled; }
    void show_auto_send(bool on) override
    {
        send_disabled = on;
        auto_caption = on ? u"关闭发送"_s : u"自动发送"_s;
    }
    QString period_text() const override { return period; }
    void set_send_timer_period(int ms) override { timer.set_period(ms); }

    bool hex = true;                  // 发送HEX单选框 checked
    QByteArray text;                  // 发送编辑框, GBK with CR LF
    QString sent_box = u"0"_s;        // 发送数编辑框
    QList<qint64> sent_box_times;     // when 发送数编辑框 was rewritten, ms since start
    bool send_disabled = false;       // 发送按钮, line open
    QString auto_caption = u"自动发送"_s;
    QString period = u"100"_s;        // 周期编辑框
    PeriodTimer timer;                // 时钟1
    QElapsedTimer clock;
};

// The send command wired as the window wires it. The far end reads at
// `far_pace` bytes a second (0: as fast as it can).
struct SendRig
{
    explicit SendRig(int far_pace = 0)
    {
        QObject::connect(&controls.timer, &PeriodTimer::tick, &controls.timer,
                         [this] { command.on_send_timer_tick(); });
        QObject::connect(&line.port(), &SerialPort::bytes_written, &controls.timer,
                         [this](qint64 count) { command.on_bytes_written(count); });
        far.emplace(line.master(), far_pace);
    }
    bool ready() const { return line.is_open(); }
    SerialPort &port() { return line.port(); }

    // The pty as full as the driver of a slow line keeps it: the far end stops,
    // a filler send runs into its time-out, then the far end reads at `pace`, so
    // every later byte leaves only as fast as that. The count starts again at 0.
    bool fill_line(int pace)
    {
        far->stop_reading();
        port().send(QByteArray(256 * 1024, '~'));
        if (!QTest::qWaitFor([this] { return !port().is_sending(); }, 5000))
            return false;
        QTest::qWait(2 * LineOutput::report_ms); // the filler's last count
        filled = state.sent_count;
        state.sent_count = 0;
        controls.sent_box = u"0"_s;
        controls.sent_box_times.clear();
        far->set_pace(pace);
        far->start_reading();
        return filled > 0;
    }
    // What the far end got after the filler.
    QByteArray received() const
    {
        const QByteArray all = far->received();
        return all.startsWith(QByteArray(filled, '~')) ? all.sliced(filled) : "(filler cut) " + all;
    }
    // Waits until the far end has `size` bytes after the filler.
    bool wait_received(qsizetype size, int ms)
    {
        return QTest::qWaitFor([&] { return far->received_size() >= filled + size; }, ms);
    }

    PtyLine line;
    std::optional<FarEnd> far; // made once the line is open, gone before it
    FakeSendControls controls;
    ProgramState state;
    SendCommand command{controls, line.port(), state};
    qint64 filled = 0; // filler bytes the far end gets first
};

} // namespace kestrune::test
