// SPDX-License-Identifier: MIT
#pragma once
// A long, increasing sequence of text positions (the starts of visual lines),
// kept in blocks of 32-bit offsets: about four bytes a line, no reallocation of
// the whole when it grows, and a shift of everything after a point costs one
// addition per block.

#include <QtGlobal>

#include <vector>

namespace kestrune {

class LineStarts
{
public:
    qint64 size() const { return count_; }
    bool empty() const { return count_ == 0; }
    qint64 at(qint64 index) const;
    qint64 back() const;

    void push_back(qint64 start); // start > back()
    void truncate(qint64 count);
    void clear();

    // The index of the last entry at or before pos; -1 when there is none.
    qint64 last_at_or_before(qint64 pos) const;

    // Removes the entries from index on and returns them.
    LineStarts take_from(qint64 index);
    // Appends the entries of other from index on, each moved by delta; other is used up.
    void append_shifted(LineStarts &&other, qint64 index, qint64 delta);

    qint64 heap_bytes() const;

private:
    static constexpr std::size_t block_entries = 4096;
    struct Block {
        qint64 base;
        std::vector<quint32> offsets; // offsets[0] == 0
    };
    std::size_t block_of(qint64 index) const;
    void start_block(qint64 start, std::size_t reserve);

    std::vector<Block> blocks_;
    std::vector<qint64> first_; // index of each block's first entry
    qint64 count_ = 0;
};

} // namespace kestrune
