// SPDX-License-Identifier: MIT
#include "app/running_program.h"

namespace kestrune {

void on_main_window_ready(ProgramState &state)
{
    state.port_is_open = 0;
}

void on_program_exit(ProgramState &state)
{
    state.lead_byte_store.reset();
}

RunningProgram::RunningProgram()
{
    handlers_.emplace(state_, window_);
    on_main_window_ready(state_);
}

} // namespace kestrune
