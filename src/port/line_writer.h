// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

namespace kestrune {

// What senders need of the serial line: sends handed over whole, written in
// order, one write of one byte at a time, without waiting for the line.
class LineWriter
{
public:
    virtual ~LineWriter() = default;
    // Queues one send and returns at once; a closed line drops it.
    virtual void send(QByteArray bytes) = 0;
    // Sends queued behind the one being written.
    virtual int sends_waiting() const = 0;
};

} // namespace kestrune
