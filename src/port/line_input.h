// SPDX-License-Identifier: MIT
#pragma once
// What the receive side of a serial line hands to the window thread: runs of
// received bytes and line-status events, in the order they happened.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <variant>

namespace kestrune {

// Kinds of the line_status signal of SerialPort.
enum class LineStatus : int {
    line_break = 1,
    cts_on = 2,
    dsr_on = 3,
    line_error = 4, // framing, overrun or parity
    ring = 5,
    carrier_on = 6,
    event_char_received = 7,
    cts_off = 8,
    dsr_off = 9,
    carrier_off = 10,
};

// One entry of LineInput: a run of bytes or one line-status event.
using LineInputItem = std::variant<QByteArray, LineStatus>;

// Arrival-ordered input; adjacent byte runs are merged, so a burst of bytes
// becomes one item however many reads it took.
class LineInput
{
public:
    void add_bytes(QByteArrayView bytes);
    void add_status(LineStatus kind);
    void append(LineInput &&later);
    bool is_empty() const { return items_.isEmpty(); }
    void clear() { items_.clear(); }
    QList<LineInputItem> take();
    const QList<LineInputItem> &items() const { return items_; }

private:
    QList<LineInputItem> items_;
};

// Undoes the marking a Unix line discipline applies with PARMRK: "\377\377" is
// a received 0xFF, "\377\0" x is byte x received with a parity or framing error,
// and "\377\0\0" a break (a NUL is delivered for it, as an unmarked line would).
// Marks may be split across reads, so the decoder keeps its state between calls.
class MarkedInputDecoder
{
public:
    void decode(QByteArrayView marked, LineInput &out);
    void reset() { state_ = State::plain; }

private:
    enum class State { plain, after_ff, after_ff_nul };
    State state_ = State::plain;
};

} // namespace kestrune
