// SPDX-License-Identifier: MIT
#include "pty_line.h"

namespace kestrune::test {

PtyLine::PtyLine()
{
    if (is_valid() && links_.bind(1, slave_path()))
        port_.open();
}

} // namespace kestrune::test
