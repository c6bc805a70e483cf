// SPDX-License-Identifier: MIT
#include "receive/receive_handler.h"

#include "receive/receive_box.h"
#include "receive/receive_controls.h"

namespace kestrune {

namespace {
constexpr qsizetype big_buffer = 1 << 20; // characters
}

ReceiveHandler::ReceiveHandler(ReceiveControls &controls, ReceiveBox &box, ProgramState &state)
    : controls_(controls), box_(box), state_(state)
{
}

void ReceiveHandler::on_byte_received(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    // Every byte is counted in every mode, and the count is on screen before the display.
    state_.received_count += bytes.size();
    controls_.show_received_count(state_.received_count);

    shown_.resize(0);
    bool touched = true;
    if (controls_.receive_hex_checked())
        append_hex_display(bytes, shown_);
    else
        touched = append_text_display(bytes, state_.lead_byte_pending, state_.lead_byte_store, shown_);
    if (touched)
        box_.append_to_receive_box(shown_);
    // A burst of megabytes leaves no buffer of that size behind.
    if (shown_.capacity() > big_buffer)
        shown_ = QString();
}

void ReceiveHandler::on_receive_text_clicked()
{
    state_.lead_byte_pending = 0;
}

} // namespace kestrune
