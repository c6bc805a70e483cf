// SPDX-License-Identifier: MIT
#include "port/line_command.h"

#include "text/decimal.h"

namespace kestrune {

LineCommand::LineCommand(LineControls &controls, SerialPort &port, ProgramState &state)
    : controls_(controls), port_(port), state_(state)
{
}

void LineCommand::on_line_button_clicked()
{
    state_.renew_lead_byte_store();
    if (state_.port_is_open != 0)
        close_line();
    else
        open_line();
}

void LineCommand::on_device_lost(const QString &why)
{
    if (state_.port_is_open != 0)
        on_line_button_clicked();
    controls_.show_line_trouble(why);
}

void LineCommand::close_line()
{
    controls_.stop_send_timer(); // before the close, so no tick sends on a closing line
    controls_.show_line_state(false);
    port_.close();
    state_.port_is_open = 0;
}

void LineCommand::open_line()
{
    port_.set_port_number(controls_.port_position() + 1);
    port_.set_baud_rate(leading_integer(controls_.baud_text()));
    port_.set_stop_bits(stop_bits_from_code(controls_.stop_bits_position() + 1));
    const int parity_position = controls_.parity_position();
    if (parity_position == 0) {
        port_.set_parity_check(false);
        port_.set_parity(Parity::none);
    } else {
        port_.set_parity_check(true);
        port_.set_parity(controls_.parity_value(parity_position));
    }

    if (port_.open()) {
        controls_.show_line_state(true);
        controls_.show_line_trouble(QString());
        state_.port_is_open = 1;
    } else {
        controls_.show_line_state(false);
        controls_.show_line_trouble(port_.open_failure());
        state_.port_is_open = 0;
    }
}

} // namespace kestrune
