// SPDX-License-Identifier: MIT
#pragma once
// The program while it runs: the program state, the main window and the event
// handlers, built and torn down in the one order that is safe.

#include "app/event_handlers.h"
#include "app/main_window.h"
#include "state/program_state.h"

#include <optional>

namespace kestrune {

// The window-created event.
void on_main_window_ready(ProgramState &state);
// The exit step, run once the window and the handlers are gone.
void on_program_exit(ProgramState &state);

// What main, the whole-program tests and benchmarks build. The window is not
// shown by this; the caller shows it.
class RunningProgram
{
public:
    // Builds the window, wires its events to the handlers, then runs on_main_window_ready.
    RunningProgram();
    // The window first (its timer stops and an open line is closed with it), then
    // the handlers, then the exit step: the reverse of the members' order below.
    ~RunningProgram() = default;
    RunningProgram(const RunningProgram &) = delete;
    RunningProgram &operator=(const RunningProgram &) = delete;

    ProgramState &state() { return state_; }
    MainWindow &window() { return window_; }

private:
    // Runs the exit step when destroyed, which is after every member below it.
    struct ExitStep
    {
        ProgramState &state;
        ~ExitStep() { on_program_exit(state); }
    };

    ProgramState state_;
    ExitStep exit_step_{state_};
    std::optional<EventHandlers> handlers_; // made once the window exists
    MainWindow window_;
};

} // namespace kestrune
