// SPDX-License-Identifier: MIT
#pragma once
// Which visual line starts where in the history at one width, and where a
// position falls on its line: everything the receive box needs to paint, scroll
// and move the caret, without a widget. Lines past the wrapped part of the index
// are wrapped on the fly, and their numbers are estimates.

#include "history/char_widths.h"
#include "history/history.h"
#include "history/wrap_index.h"

namespace kestrune {

class TextLayout
{
public:
    // One visual line: [start, next), next == -1 for the last line; content_end
    // is before the line break, soft when the line wraps without one.
    struct LineSpan {
        qint64 start;
        qint64 next;
        qint64 content_end;
        bool soft;
    };

    TextLayout(const History &text, const CharWidths &widths);

    WrapIndex &index() { return index_; }
    const WrapIndex &index() const { return index_; }
    qreal width() const { return index_.width(); }

    qint64 next_line(qint64 start) const; // -1 for the last line
    // The start of the line holding pos; near is a line start before pos (the
    // first visible line) that wrapping may start from when pos is past the index.
    qint64 line_start_of(qint64 pos, qint64 near = -1) const;
    qint64 lines_after(qint64 start, qint64 n) const;
    qint64 lines_before(qint64 start, qint64 n) const;
    qint64 line_number(qint64 start) const;
    qint64 total_lines() const;
    qint64 start_of_line_number(qint64 number) const;
    LineSpan span(qint64 start) const;

    // The pen position of pos in the line from start, and the position nearest x.
    qreal x_in_line(qint64 start, qint64 pos) const;
    qint64 pos_in_line(const LineSpan &line, qreal x, bool &at_line_end) const;

    // Characters of one line that are looked at; the rest would be far past the edge.
    static constexpr qint64 paint_chars = 4096;

private:
    qint64 chars_per_line() const;

    const History &text_;
    const CharWidths &widths_;
    WrapIndex index_;
};

} // namespace kestrune
