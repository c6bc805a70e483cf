// SPDX-License-Identifier: MIT
#pragma once
// The click handler of 串口按钮: opens the line with the four lists' choices,
// or closes it.

#include "port/line_controls.h"
#include "port/serial_port.h"
#include "state/program_state.h"

namespace kestrune {

class LineCommand
{
public:
    LineCommand(LineControls &controls, SerialPort &port, ProgramState &state);

    void on_line_button_clicked();
    // The device of the open line went away: the line closes as a click of
    // 串口按钮 closes it, and the button's tooltip says why.
    void on_device_lost(const QString &why);

private:
    void close_line();
    void open_line();

    LineControls &controls_;
    SerialPort &port_;
    ProgramState &state_;
};

} // namespace kestrune
