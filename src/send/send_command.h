// SPDX-License-Identifier: MIT
#pragma once

#include "port/line_writer.h"
#include "send/send_controls.h"
#include "state/program_state.h"

#include <QtGlobal>

namespace kestrune {

// The click handlers of 发送按钮 and 自动按钮, the tick handler of 时钟1, and the
// handler of the line's written-bytes report. Reads and writes sent_count in the
// program state; keeps no state of its own.
class SendCommand
{
public:
    SendCommand(SendControls &controls, LineWriter &line, ProgramState &state);

    // The send box, built whole, handed to the line as one send; returns at once.
    void send_once();
    // Starts automatic sending when 发送按钮 is enabled, stops it when disabled.
    void toggle_auto_send();
    // A tick while a send waits behind the one being written adds none: automatic
    // sending never piles up.
    void on_send_timer_tick();
    // The line took `count` more bytes: the count grows by them and is shown.
    void on_bytes_written(qint64 count);

private:
    SendControls &controls_;
    LineWriter &line_;
    ProgramState &state_;
};

} // namespace kestrune
