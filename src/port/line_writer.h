#pragma once

#include <QtGlobal>

namespace kestrune {

// What senders need of the serial line: one synchronous write of one byte.
class LineWriter
{
public:
    virtual ~LineWriter() = default;
    // true when the byte was written; false when the write failed or the line is closed.
    virtual bool send(quint8 byte) = 0;
};

} // namespace kestrune
