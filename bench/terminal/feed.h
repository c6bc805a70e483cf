// SPDX-License-Identifier: MIT
#pragma once
// What the harness writes into the line, and how many characters a terminal
// that keeps everything then holds.

#include <QByteArray>

namespace kestrune::bench {

struct Feed {
    QByteArray bytes;       // what is written, over and over until size bytes are
    qint64 hex_characters;  // two digits and a space per byte
    qint64 text_characters; // one per ASCII byte (CR and LF included), one per GBK pair
    qint64 size = bytes.size();
};

// feed written over and over until about total bytes are (whole feeds in text mode).
Feed repeated(const Feed &feed, qint64 total, bool whole);

// Bytes of every value, in a pattern that does not repeat soon: for HEX mode.
Feed byte_feed(qint64 size);

// What a terminal that keeps everything holds in HEX mode: "41 42 0D " for "AB\r".
QByteArray hex_display(const QByteArray &bytes);

// A device log: lines of about 80 characters, printable ASCII mixed with
// two-byte GBK characters, each ended by CR LF; whole lines only, at most size bytes.
Feed text_feed(qint64 size);

} // namespace kestrune::bench
