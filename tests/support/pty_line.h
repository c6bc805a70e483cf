// SPDX-License-Identifier: MIT
#pragma once
// The line for send tests and benchmarks: a pty pair bound to COM1 and a
// SerialPort open on its slave side, writing the way the program writes.

#include "port/serial_port.h"
#include "pty_pair.h"

namespace kestrune::test {

class PtyLine : public PtyPair
{
public:
    PtyLine(); // opens the port; is_open() says whether it worked
    bool is_open() const { return port_.is_open(); }
    SerialPort &port() { return port_; }

private:
    PortLinks links_;
    SerialPort port_;
};

} // namespace kestrune::test
