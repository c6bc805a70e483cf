#pragma once
// 端口1, the serial port component: settings, open/close, one-byte send, and
// received bytes raised on the thread that owns it.

#include "port/line_input.h"
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
    int port_number() const { return m_port_number; }
    void set_port_number(int n) { m_port_number = n < 1 ? 1 : n; } // device COMn
    int baud_rate() const { return m_line_settings.baud_rate; }
    void set_baud_rate(int bits_per_second) { m_line_settings.baud_rate = bits_per_second; }
    int data_bits() const { return m_line_settings.data_bits; }
    void set_data_bits(int bits) { m_line_settings.data_bits = bits; }
    int stop_bits() const { return m_line_settings.stop_bits; }
    // 1 one stop bit; 2 and 3 two (there is no one and a half here)
    void set_stop_bits(int code) { m_line_settings.stop_bits = code < 1 ? 1 : code > 3 ? 3 : code; }
    int parity_check() const { return m_line_settings.parity_check; }
    void set_parity_check(int on) { m_line_settings.parity_check = on; } // 0 off, otherwise on
    QString event_char() const { return m_event_char; }
    void set_event_char(const QString &text) { m_event_char = text; } // kept only: no driver support
    int timeout_ms() const { return m_timeout_ms; }
    void set_timeout_ms(int ms) { m_timeout_ms = ms; } // a send waits at most twice this
    int open_on_create() const { return m_open_on_create; }
    void set_open_on_create(int flag) { m_open_on_create = flag; } // kept for the window; never opens by itself
    int parity() const { return m_line_settings.parity; }
    void set_parity(int code) { m_line_settings.parity = code; } // 0 none, 1 odd, 2 even
    int flow_control() const { return m_line_settings.flow_control; }
    void set_flow_control(int mode) { m_line_settings.flow_control = mode; } // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both
    int rts_mode() const { return m_line_settings.rts_mode; }
    void set_rts_mode(int mode) { m_line_settings.rts_mode = mode; } // 1 holds RTS off, otherwise raised
    int dtr_mode() const { return m_line_settings.dtr_mode; }
    void set_dtr_mode(int mode) { m_line_settings.dtr_mode = mode; } // 0 as the driver has it, 1 off, 2 on

    // Closes an open line first. false leaves the line closed, with the reason
    // in open_failure().
    bool open();
    // Stops receiving and closes; bytes not yet raised are dropped.
    void close();
    bool is_open() const { return m_line != nullptr; }
    // Why the last open failed, in plain words; empty after a successful open.
    QString open_failure() const { return m_open_failure; }

    // One write of one byte, waiting at most 2 × timeout_ms. Runs no event handler.
    bool send(quint8 byte) override;

Q_SIGNALS:
    // Received bytes in arrival order; a burst may come in one signal.
    void bytes_received(const QByteArray &bytes);
    // A break (line_break) or a byte received with a parity or framing error
    // (line_error, raised just before that byte), as the line driver marks them.
    void line_status(int kind);
    // The device went away while the line was open (an adapter pulled out): nothing
    // more arrives and sends fail until the line is closed and opened again. `why`
    // says so in plain words. Never raised for a close.
    void device_lost(const QString &why);

private:
    void receive(platform::Line *line, quint64 session);
    void take_input(quint64 session);
    void report_loss(quint64 session);
    void raise_ready();

    int m_port_number = 1;
    platform::LineSettings m_line_settings; // what open applies to the line
    QString m_event_char;
    int m_timeout_ms = 1000;
    int m_open_on_create = 0;

    std::unique_ptr<platform::Line> m_line;
    std::thread m_receiver;
    QString m_open_failure;

    // Shared with the receive thread.
    QMutex m_mutex;
    LineInput m_arrived;
    bool m_take_posted = false; // one queued take_input at a time
    quint64 m_session = 0;      // raised at every close: older posts are void

    // Window thread only: input taken but not yet raised, in order.
    QList<LineInputItem> m_ready;
    qsizetype m_ready_offset = 0; // bytes of m_ready's first item already raised
    bool m_raising = false;
    QTimer m_next_turn; // raises the rest of a backlog
    static constexpr qsizetype raise_limit = 64 * 1024; // bytes raised per event-loop turn
};

} // namespace kestrune
