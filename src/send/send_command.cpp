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

    // Every byte is tried, in order; only those the line took are counted.
    qint64 written = 0;
    for (char byte : bytes)
        if (line_.send(quint8(byte)))
            ++written;

    state_.sent_count += written;
    controls_.show_sent_count(state_.sent_count);
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
    send_once();
}

} // namespace kestrune
