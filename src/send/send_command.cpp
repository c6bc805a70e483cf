// SPDX-License-Identifier: MIT
#include "send/send_command.h"

#include "send/hex_text.h"
#include "text/decimal.h"

namespace kestrune {

SendCommand::SendCommand(SendControls &controls, LineWriter &line, ProgramState &state)
    : controls_(controls)
    , line_(line)
    , state_(state)
{
}

void SendCommand::send_once()
{
    const bool hex = controls_.send_hex_checked();
    const QByteArray text = controls_.send_text();
    const QByteArray bytes = hex ? hex_text_to_bytes(text) : text;

    if (bytes.isEmpty()) {
        controls_.show_sent_count(state_.sent_count); // nothing to send: the box is rewritten all the same
        return;
    }
    // Counted as the line takes the bytes (on_bytes_written), not here.
    line_.send(bytes);
}

void SendCommand::toggle_auto_send()
{
    if (!controls_.send_button_disabled()) {
        controls_.show_auto_send(true);
        controls_.set_send_timer_period(leading_integer(controls_.period_text()));
    } else {
        controls_.show_auto_send(false);
        controls_.set_send_timer_period(0);
    }
}

void SendCommand::on_send_timer_tick()
{
    if (line_.sends_waiting() == 0)
        send_once();
}

void SendCommand::on_bytes_written(qint64 count)
{
    state_.sent_count += count;
    controls_.show_sent_count(state_.sent_count);
}

} // namespace kestrune
