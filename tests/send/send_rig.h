#pragma once
// The window as the send command sees it, with real state, and a line wrapper
// for the faults and delays a pty cannot produce.

#include "pty_line.h"
#include "send/period_timer.h"
#include "send/send_command.h"
#include "send/send_controls.h"
#include "text/decimal.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QThread>

#include <functional>

namespace kestrune::test {

using namespace Qt::StringLiterals;

class FakeSendControls : public SendControls
{
public:
    bool send_hex_checked() const override { return hex; }
    QByteArray send_text() const override { return text; }
    void show_sent_count(qint64 count) override
    {
        sent_box = signed_decimal(count);
        ++sent_box_writes;
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
    int sent_box_writes = 0;
    bool send_disabled = false;       // 发送按钮, line open
    QString auto_caption = u"自动发送"_s;
    QString period = u"100"_s;        // 周期编辑框
    PeriodTimer timer;                // 时钟1
};

// Hands bytes on to another line, except those whose call index is in fail_at.
class FaultyLine : public LineWriter
{
public:
    explicit FaultyLine(LineWriter &inner) : inner_(inner) {}

    bool send(quint8 byte) override
    {
        const qsizetype index = tried.size();
        tried.append(char(byte));
        ++depth;
        max_depth = qMax(max_depth, depth);
        if (before_send)
            before_send(index);
        const bool ok = !fail_at.contains(index) && inner_.send(byte);
        --depth;
        return ok;
    }

    QList<qsizetype> fail_at;
    std::function<void(qsizetype index)> before_send;  // runs inside send, before the byte
    QByteArray tried;                                  // every byte given, in order
    int depth = 0;
    int max_depth = 0;

private:
    LineWriter &inner_;
};

// The send command wired as the window wires it, over a pty.
struct SendRig
{
    SendRig()
    {
        QObject::connect(&controls.timer, &PeriodTimer::tick, &controls.timer,
                         [this] { command.on_send_timer_tick(); });
    }

    PtyLine pty;
    FaultyLine line{pty};
    FakeSendControls controls;
    ProgramState state;
    SendCommand command{controls, line, state};
};

} // namespace kestrune::test
