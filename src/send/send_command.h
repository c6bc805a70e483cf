#pragma once

#include "port/line_writer.h"
#include "send/send_controls.h"
#include "state/program_state.h"

#include <QtGlobal>

namespace kestrune {

// The click handlers of 发送按钮 and 自动按钮 and the tick handler of 时钟1.
// Reads and writes sent_count in the program state; keeps no state of its own.
class SendCommand
{
public:
    SendCommand(SendControls &controls, LineWriter &line, ProgramState &state);

    // The send box once over the line, byte by byte, then the count shown.
    void send_once();
    // Starts automatic sending when 发送按钮 is enabled, stops it when disabled.
    void toggle_auto_send();
    void on_send_timer_tick();

private:
    SendControls &controls_;
    LineWriter &line_;
    ProgramState &state_;
};

} // namespace kestrune
