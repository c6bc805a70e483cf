// SPDX-License-Identifier: MIT
#pragma once
// The byte-received handler of 端口1 and the click handler of 接收文本单选框.

#include "history/byte_display.h"
#include "state/program_state.h"

#include <QByteArrayView>
#include <QString>

namespace kestrune {

class ReceiveBox;
class ReceiveControls;

class ReceiveHandler
{
public:
    // Reads and writes lead_byte_pending, lead_byte_store and received_count.
    ReceiveHandler(ReceiveControls &controls, ReceiveBox &box, ProgramState &state);

    // The bytes that arrived together, in arrival order. They are handled one by
    // one to the end with no event in between, so the count is shown once and the
    // box gets one append for the whole chunk: the same on screen as per byte.
    void on_byte_received(QByteArrayView bytes);

    // Drops a held lead byte, also when the radio was already checked.
    void on_receive_text_clicked();

private:
    ReceiveControls &controls_;
    ReceiveBox &box_;
    ProgramState &state_;
    QString shown_; // reused for every chunk, so its buffer is allocated once
};

} // namespace kestrune
