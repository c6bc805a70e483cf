// SPDX-License-Identifier: MIT
#pragma once
// 端口1, the serial port component: settings, open/close, sends written as the
// line takes them, and received bytes raised on the thread that owns it.

#include "port/line_input.h"
#include "port/line_output.h"
#include "port/platform.h"
#include "port/line_writer.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <thread>

namespace kestrune {

class SerialPort : public QObject, public LineWriter
{
    Q_OBJECT

public:
    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override; // closes an open line

    // Settings. Writing one only stores it; open applies them to the line.
    int port_number() const { return port_number_; }
    void set_port_number(int n) { port_number_ = n < 1 ? 1 : n; } // device COMn
    int baud_rate() const { return line_settings_.baud_rate; }
    void set_baud_rate(int bits_per_second) { line_settings_.baud_rate = bits_per_second; }
    int data_bits() const { return line_settings_.data_bits; }
    void set_data_bits(int bits) { line_settings_.data_bits = bits; }
    StopBits stop_bits() const { return line_settings_.stop_bits; }
    void set_stop_bits(StopBits bits) { line_settings_.stop_bits = bits; }
    bool parity_check() const { return line_settings_.parity_check; }
    void set_parity_check(bool on) { line_settings_.parity_check = on; }
    QString event_char() const { return event_char_; }
    void set_event_char(const QString &text) { event_char_ = text; } // kept only: no driver support
    int timeout_ms() const { return timeout_ms_; }
    void set_timeout_ms(int ms) { timeout_ms_ = ms; } // a byte not taken within this ends its send
    bool open_on_create() const { return open_on_create_; }
    void set_open_on_create(bool on) { open_on_create_ = on; } // kept for the window; never opens by itself
    Parity parity() const { return line_settings_.parity; }
    void set_parity(Parity parity) { line_settings_.parity = parity; }
    FlowControl flow_control() const { return line_settings_.flow_control; }
    void set_flow_control(FlowControl mode) { line_settings_.flow_control = mode; }
    RtsMode rts_mode() const { return line_settings_.rts_mode; }
    void set_rts_mode(RtsMode mode) { line_settings_.rts_mode = mode; }
    DtrMode dtr_mode() const { return line_settings_.dtr_mode; }
    void set_dtr_mode(DtrMode mode) { line_settings_.dtr_mode = mode; }

    // Closes an open line first. false leaves the line closed, with the reason
    // in open_failure().
    bool open();
    // Stops receiving and closes at once: bytes not yet raised are dropped, and so
    // is the rest of a send under way, with what a device's driver still holds of
    // it. Bytes written and not yet reported are reported on the way.
    void close();
    bool is_open() const { return line_ != nullptr; }
    // Why the last open failed, in plain words; empty after a successful open.
    QString open_failure() const { return open_failure_; }

    // LineWriter: the bytes leave after those of earlier sends, as the line takes
    // them; nothing leaves a closed line. Returns at once.
    void send(QByteArray bytes) override;
    int sends_waiting() const override { return output_ ? output_->waiting() : 0; }
    // A send is being written.
    bool is_sending() const { return output_ && output_->busy(); }

    // Bytes read from the line and not yet raised. Above `high` the receive thread
    // stops reading, which holds back the driver and through it the far end, until
    // the window has raised all but `low`: a window that falls behind costs no more
    // memory than that. A line at 460800 baud takes six minutes to fill 16 MB.
    struct BacklogMarks
    {
        qsizetype high = 16 * 1024 * 1024;
        qsizetype low = 4 * 1024 * 1024;
    };
    void set_backlog_marks(BacklogMarks marks); // small ones let tests fill them quickly
    qsizetype backlog_bytes() const;

Q_SIGNALS:
    // Received bytes in arrival order; a burst may come in one signal.
    void bytes_received(const QByteArray &bytes);
    // A break (line_break) or a byte received with a parity or framing error
    // (line_error, raised just before that byte), as the line driver marks them.
    void line_status(kestrune::LineStatus kind);
    // The device went away while the line was open (an adapter pulled out): nothing
    // more arrives and sends fail until the line is closed and opened again (the
    // window closes it at once). `why` says so in plain words. Raised after every byte
    // received before the loss; never raised for a close.
    void device_lost(const QString &why);
    // Bytes the line took since the last report, in the order of the sends: at most
    // once a frame while sends go on, and from close for the last ones.
    void bytes_written(qint64 count);

private:
    void receive(platform::Line *line, quint64 session);
    void take_input(quint64 session);
    void report_loss(quint64 session);
    void raise_loss();
    void raise_ready();
    void count_raised(qsizetype count);
    qint64 shut(); // close() without the last report: bytes written and not reported

    int port_number_ = 1;
    LineSettings line_settings_; // what open applies to the line
    QString event_char_;
    int timeout_ms_ = 1000;
    bool open_on_create_ = false;

    std::unique_ptr<platform::Line> line_;
    std::unique_ptr<LineOutput> output_; // made with line_, gone before it
    std::thread receiver_;
    QString open_failure_;

    // Shared with the receive thread.
    mutable QMutex mutex_;
    LineInput arrived_;
    bool take_posted_ = false; // one queued take_input at a time
    quint64 session_ = 0;      // raised at every close: older posts are void
    bool stopping_ = false;    // close() has asked the receive thread to end
    BacklogMarks marks_;
    qsizetype backlog_ = 0; // in arrived_ and ready_, not yet raised; a status counts 1
    bool held_ = false;     // the receive thread waits for the window to take the backlog

    // Window thread only: input taken but not yet raised, in order.
    QList<LineInputItem> ready_;
    qsizetype ready_offset_ = 0; // bytes of ready_'s first item already raised
    bool raising_ = false;
    bool loss_waits_ = false; // the device is gone: raised once ready_ is empty
    QTimer next_turn_; // raises the rest of a backlog
    static constexpr qsizetype raise_limit = 64 * 1024; // bytes raised per event-loop turn
};

} // namespace kestrune
