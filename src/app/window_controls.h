// SPDX-License-Identifier: MIT
#pragma once

#include "port/line_controls.h"
#include "receive/receive_controls.h"
#include "send/send_controls.h"

namespace kestrune {

class MainWindow;

// The control operations: the one way the commands read and change the window.
class WindowControls final : public LineControls, public SendControls, public ReceiveControls
{
public:
    explicit WindowControls(MainWindow &window);

    // LineControls
    int port_position() const override;
    QString baud_text() const override;
    int stop_bits_position() const override;
    int parity_position() const override;
    Parity parity_value(int position) const override;
    void stop_send_timer() override;
    void show_line_state(bool open) override;
    void show_line_trouble(const QString &why) override;

    // SendControls
    bool send_hex_checked() const override;
    QByteArray send_text() const override;
    void show_sent_count(qint64 count) override;
    bool send_button_disabled() const override;
    void show_auto_send(bool on) override;
    QString period_text() const override;
    void set_send_timer_period(int ms) override;

    // ReceiveControls
    bool receive_hex_checked() const override;
    void show_received_count(qint64 count) override;

private:
    MainWindow &window_;
};

// Line breaks as the line gets them (CR LF), GBK: what sending and saving read of the send box.
QByteArray send_box_bytes(const MainWindow &window);

} // namespace kestrune
