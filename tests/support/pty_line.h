#pragma once
// A pty pair whose slave side is written the way the port writes its device,
// one write() of one byte per send: the line for send tests and benchmarks.

#include "port/line_writer.h"
#include "pty_pair.h"

namespace kestrune::test {

class PtyLine : public PtyPair, public LineWriter
{
public:
    bool send(quint8 byte) override;
};

} // namespace kestrune::test
