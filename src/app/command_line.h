// SPDX-License-Identifier: MIT
#pragma once
// The command line takes no settings: only --help and --version, answered before the
// window toolkit starts, so they work without a display.

#include <optional>

namespace kestrune {

// Handles the arguments main was given. Returns the exit status when the program is to
// end at once (0 after --help or --version, 2 after anything else, with a one-line error
// on stderr); no value when there are no arguments and the window should start.
std::optional<int> handle_command_line(int argc, char *argv[]);

} // namespace kestrune
