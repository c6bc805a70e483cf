// SPDX-License-Identifier: MIT
#pragma once

#include "app/window_controls.h"
#include "port/line_command.h"
#include "receive/receive_handler.h"
#include "save/save_command.h"
#include "send/send_command.h"

namespace kestrune {

class MainWindow;
struct ProgramState;

// The handlers of the window's events, and the table that wires them. RunningProgram
// owns them and destroys the window first, so no event reaches a handler being torn down.
class EventHandlers
{
public:
    EventHandlers(ProgramState &state, MainWindow &window);

    void save_receive_box();
    void save_send_box();

private:
    void connect_events();

    ProgramState &state_;
    MainWindow &window_;
    WindowControls controls_;
    LineCommand line_command_;
    SendCommand send_command_;
    ReceiveHandler receive_handler_;
    SaveCommand save_command_;
};

} // namespace kestrune
