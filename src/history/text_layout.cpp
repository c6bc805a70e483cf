// SPDX-License-Identifier: MIT
#include "history/text_layout.h"

#include <algorithm>

namespace kestrune {

namespace {
// How far back wrapping may start for lines not yet in the index.
constexpr qint64 provisional_reach = 1 << 15;
}

TextLayout::TextLayout(const History &text, const CharWidths &widths)
    : text_(text), widths_(widths), index_(text, widths)
{
}

qint64 TextLayout::next_line(qint64 start) const
{
    qint64 next = -1;
    wrap_lines(text_, widths_, index_.width(), start, [&next](qint64 at) {
        next = at;
        return false;
    });
    return next;
}

qint64 TextLayout::line_start_of(qint64 pos, qint64 near) const
{
    pos = std::clamp<qint64>(pos, 0, text_.size());
    if (index_.exact_for(pos))
        return index_.line_start(index_.line_of(pos));
    // Past the wrapped part: wrap on from near when it is close, else from a
    // little before pos (a provisional start until the index gets there).
    qint64 s = index_.open_line_start();
    if (near >= s && near <= pos && pos - near <= provisional_reach)
        s = near;
    else if (pos - s > provisional_reach)
        s = pos - provisional_reach;
    for (;;) {
        const qint64 next = next_line(s);
        if (next < 0 || next > pos)
            return s;
        s = next;
    }
}

qint64 TextLayout::lines_after(qint64 start, qint64 n) const
{
    if (index_.complete()) {
        const qint64 line = std::min(index_.line_of(start) + n, index_.line_count() - 1);
        return index_.line_start(line);
    }
    for (qint64 i = 0; i < n; ++i) {
        const qint64 next = next_line(start);
        if (next < 0)
            break;
        start = next;
    }
    return start;
}

qint64 TextLayout::lines_before(qint64 start, qint64 n) const
{
    if (index_.complete())
        return index_.line_start(std::max<qint64>(index_.line_of(start) - n, 0));
    for (qint64 i = 0; i < n && start > 0; ++i)
        start = line_start_of(start - 1);
    return start;
}

qint64 TextLayout::chars_per_line() const
{
    const qint64 open = index_.open_line_start();
    if (index_.line_count() > 1 && open > 0)
        return std::max<qint64>(open / (index_.line_count() - 1), 1);
    const qreal digit = widths_.advance(u'0');
    return std::max<qint64>(digit > 0 ? qint64(index_.width() / digit) : 1, 1);
}

// Line numbers past the wrapped part are estimates; they only place the scroll bar.
qint64 TextLayout::line_number(qint64 start) const
{
    if (index_.exact_for(start))
        return index_.line_of(start);
    return index_.line_count() - 1 + (start - index_.open_line_start()) / chars_per_line();
}

qint64 TextLayout::total_lines() const
{
    if (index_.complete())
        return index_.line_count();
    return line_number(text_.size()) + 1;
}

qint64 TextLayout::start_of_line_number(qint64 number) const
{
    number = std::max<qint64>(number, 0);
    if (index_.complete() || number < index_.line_count() - 1)
        return index_.line_start(std::min(number, index_.line_count() - 1));
    const qint64 beyond = number - (index_.line_count() - 1);
    return line_start_of(index_.open_line_start() + beyond * chars_per_line());
}

TextLayout::LineSpan TextLayout::span(qint64 start) const
{
    const qint64 next = next_line(start);
    if (next < 0)
        return {start, next, text_.size(), false};
    const char16_t last = text_.at(next - 1);
    if (last == u'\n') {
        const bool crlf = next - 2 >= start && text_.at(next - 2) == u'\r';
        return {start, next, next - (crlf ? 2 : 1), false};
    }
    if (last == u'\r')
        return {start, next, next - 1, false};
    return {start, next, next, true};
}

qreal TextLayout::x_in_line(qint64 start, qint64 pos) const
{
    qreal x = 0;
    text_.visit_segments(start, std::min(pos, start + paint_chars), [&](const History::Segment &s) {
        for (qsizetype i = 0; i < s.size; ++i) {
            const char16_t c = s.latin1 ? char16_t(quint8(s.latin1[i])) : s.utf16[i];
            x = c == u'\t' ? widths_.next_tab_stop(x) : x + widths_.advance(c);
        }
        return true;
    });
    return x;
}

qint64 TextLayout::pos_in_line(const LineSpan &line, qreal x, bool &at_line_end) const
{
    at_line_end = false;
    qreal left = 0;
    qint64 found = -1;
    text_.visit_segments(line.start, std::min(line.content_end, line.start + paint_chars),
                         [&](const History::Segment &s) {
        for (qsizetype i = 0; i < s.size; ++i) {
            const char16_t c = s.latin1 ? char16_t(quint8(s.latin1[i])) : s.utf16[i];
            const qreal right = c == u'\t' ? widths_.next_tab_stop(left) : left + widths_.advance(c);
            const bool joins = c >= 0xDC00 && c < 0xE000;
            if (!joins && x < (left + right) / 2) {
                found = s.start + i;
                return false;
            }
            left = right;
        }
        return true;
    });
    if (found >= 0)
        return found;
    at_line_end = line.soft;
    return line.content_end;
}

} // namespace kestrune
