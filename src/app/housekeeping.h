// SPDX-License-Identifier: MIT
#pragma once

namespace kestrune {

class MainWindow;
struct ProgramState;

// The three housekeeping commands; each works in every state and touches nothing else.
void clear_receive_box(MainWindow &window);
void clear_send_box(MainWindow &window);
void zero_counters(MainWindow &window, ProgramState &state);

} // namespace kestrune
