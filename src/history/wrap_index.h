// SPDX-License-Identifier: MIT
#pragma once
// Word wrap of the receive box: the greedy line breaker, and the index of visual
// line starts built from it incrementally.
//
// A line breaks at the box's width, after a run of spaces or TABs where it can
// (the blanks hang past the edge) and before or after a CJK ideograph; a word
// longer than the line breaks anywhere. CR LF, a lone LF and a lone CR each end
// a line; TAB advances to the next tab stop.

#include "history/char_widths.h"
#include "history/line_starts.h"
#include "history/history.h"

#include <array>

namespace kestrune {

class LineBreaker
{
public:
    LineBreaker(const CharWidths &widths, qreal width) : widths_(widths), width_(width) {}

    // Starts wrapping at a position where a line starts.
    void start_at(qint64 line_start);
    qint64 line_start() const { return line_start_; }

    // Feeds the characters of one segment, which follow what was fed before.
    // found(next_line_start) is called for every line that ends; when it returns
    // false, feeding stops and false is returned.
    template <typename Found>
    bool feed(const History::Segment &segment, Found &&found)
    {
        return segment.latin1 ? feed_run(segment.latin1, segment.size, segment.start, found)
                              : feed_run(segment.utf16, segment.size, segment.start, found);
    }
    // The text ends at end: a CR fed last ends its line there.
    template <typename Found>
    bool finish(qint64 end, Found &&found)
    {
        if (!pending_cr_)
            return true;
        pending_cr_ = false;
        start_at(end);
        return found(end);
    }

    // A line ends before this many characters, whatever their width: characters
    // drawn with no width (controls without pictures) would otherwise make one
    // endless line, re-wrapped whole at every append.
    static constexpr qint64 max_line_chars = 4096;

    enum Kind : quint8 { Other, Space, Tab, Cr, Lf, Ideograph, Joiner };
    static Kind kind_of(char16_t c)
    {
        if (c < 0x100)
            return latin1_kind(quint8(c));
        if (c >= 0xDC00 && c < 0xE000)
            return Joiner;
        if ((c >= 0x2E80 && c < 0xA000) || (c >= 0xAC00 && c < 0xD7A4) || (c >= 0xF900 && c < 0xFB00)
            || (c >= 0xFF00 && c < 0xFFF0))
            return Ideograph;
        return Other;
    }

private:
    static Kind latin1_kind(quint8 c)
    {
        static constexpr auto table = [] {
            std::array<Kind, 256> kinds{};
            kinds.fill(Other);
            kinds[' '] = Space;
            kinds['\t'] = Tab;
            kinds['\r'] = Cr;
            kinds['\n'] = Lf;
            return kinds;
        }();
        return table[c];
    }
    qreal advance_of(char c) const { return widths_.latin1_advance(quint8(c)); }
    qreal advance_of(char16_t c) const { return widths_.advance(c); }
    static Kind kind_of_unit(char c) { return latin1_kind(quint8(c)); }
    static Kind kind_of_unit(char16_t c) { return kind_of(c); }


    template <typename Unit, typename Found>
    bool feed_run(const Unit *units, qsizetype n, qint64 first, Found &found);

    const CharWidths &widths_;
    qreal width_;
    qint64 line_start_ = 0;
    qint64 break_ = 0;   // where the line may end at the latest break; line_start_ when none
    qreal x_ = 0;        // pen position in the line
    qreal word_x_ = 0;   // width of the characters after break_
    bool pending_cr_ = false;
};

template <typename Unit, typename Found>
bool LineBreaker::feed_run(const Unit *units, qsizetype n, qint64 first, Found &found)
{
    // The state lives in locals while the run is fed, so that it stays in registers.
    qint64 line_start = line_start_;
    qint64 brk = break_;
    qreal x = x_;
    qreal word_x = word_x_;
    bool pending_cr = pending_cr_;
    const qreal width = width_;
    auto begin_line = [&](qint64 start) {
        line_start = start;
        brk = start;
        x = 0;
        word_x = 0;
        return found(start);
    };
    bool go_on = true;
    for (qsizetype i = 0; i < n && go_on; ++i) {
        const Unit c = units[i];
        const qint64 at = first + i;
        const Kind kind = kind_of_unit(c);
        if (pending_cr) {
            pending_cr = false;
            if (kind == Lf) {
                go_on = begin_line(at + 1);
                continue;
            }
            if (!begin_line(at)) {
                go_on = false;
                break;
            }
        }
        if (at - line_start >= max_line_chars && kind != Cr && kind != Lf && kind != Joiner
            && !begin_line(at)) {
            go_on = false;
            break;
        }
        switch (kind) {
        case Space:
            x += advance_of(c);
            brk = at + 1;
            word_x = 0;
            break;
        case Tab:
            x = widths_.next_tab_stop(x);
            brk = at + 1;
            word_x = 0;
            break;
        case Lf:
            go_on = begin_line(at + 1);
            break;
        case Cr:
            pending_cr = true;
            break;
        default: {
            if (kind == Ideograph && at > line_start) {
                brk = at;
                word_x = 0;
            }
            const qreal w = advance_of(c);
            if (x + w > width && at > line_start && kind != Joiner) {
                if (brk > line_start) {
                    // The word so far moves to the next line with its width.
                    const qreal carried = word_x;
                    if (!begin_line(brk)) {
                        go_on = false;
                        break;
                    }
                    x = carried;
                    word_x = carried;
                }
                if (x + w > width && at > line_start && !begin_line(at)) {
                    go_on = false;
                    break;
                }
            }
            x += w;
            word_x += w;
            if (kind == Ideograph) {
                brk = at + 1;
                word_x = 0;
            }
        }
        }
    }
    line_start_ = line_start;
    break_ = brk;
    x_ = x;
    word_x_ = word_x;
    pending_cr_ = pending_cr;
    return go_on;
}

// Wraps text from the line start from on, calling found(next_line_start) for
// every line that ends until it returns false or the text ends.
template <typename Found>
void wrap_lines(const History &text, const CharWidths &widths, qreal width, qint64 from, Found &&found)
{
    LineBreaker breaker(widths, width);
    breaker.start_at(from);
    bool go_on = true;
    text.visit_segments(from, text.size(), [&](const History::Segment &segment) {
        go_on = breaker.feed(segment, found);
        return go_on;
    });
    if (go_on)
        breaker.finish(text.size(), found);
}

// The starts of the visual lines of a text at one width. The index is built from
// the front: lines that start before open_line_start() are final, the open line
// and what follows are wrapped on by wrap(), a slice at a time if asked.
//
// It holds, with their line numbers, a line start every mark_spacing characters
// or so (the marks) and every line start of the last tail_chars characters or
// more (the tail); any other line is found by wrapping from the mark before it.
// So it takes a few bytes per mark_spacing characters, however short the lines.
class WrapIndex
{
public:
    WrapIndex(const History &text, const CharWidths &widths, qint64 mark_spacing = 8192,
              qint64 tail_chars = 1 << 16);

    // A new width (or new character widths): every line is wrapped again.
    void set_width(qreal width);
    qreal width() const { return width_; }

    // The text now has size characters and nothing wrapped (set_text, clear).
    void reset(qint64 size);
    // removed characters at pos were replaced by inserted ones; the text already
    // holds the change. Lines after it are kept aside and taken back once
    // wrapping meets one of them again.
    void text_replaced(qint64 pos, qint64 removed, qint64 inserted);

    // Wraps on, at least budget characters past what was wrapped before, or to
    // the end. Returns complete().
    bool wrap(qint64 budget);
    bool complete() const { return wrapped_to_ == size_; }
    qint64 open_line_start() const { return tail_.back(); }
    // Whether the line holding pos and its end are known.
    bool exact_for(qint64 pos) const { return complete() || pos < open_line_start(); }

    // All lines once complete(); the final ones plus the open line before.
    qint64 line_count() const { return tail_line_ + qint64(tail_.size()); }
    qint64 line_start(qint64 line) const;
    qint64 line_of(qint64 pos) const;

    qint64 heap_bytes() const;

private:
    struct Marks {
        LineStarts pos;
        LineStarts line;
        void clear()
        {
            pos.clear();
            line.clear();
        }
    };

    void push_line(qint64 start);
    void trim_tail();
    bool take_back(qint64 start);
    void forget_kept();
    qint64 next_line_before(qint64 start, qint64 limit) const;

    const History &text_;
    const CharWidths &widths_;
    const qint64 mark_spacing_;
    const qint64 tail_chars_;
    qreal width_ = 1;
    qint64 size_ = 0;       // characters in the text
    qint64 wrapped_to_ = 0; // characters fed so far
    Marks marks_;              // always holds (0, 0)
    std::vector<qint64> tail_; // every line start from tail_[0], which is a mark, on
    qint64 tail_line_ = 0;     // the number of the line at tail_[0]

    // Lines after the last change, in old positions and numbers, that may be taken back.
    Marks kept_marks_;
    std::vector<qint64> kept_tail_;
    qint64 kept_tail_line_ = 0;
    qint64 kept_mark_next_ = 0;      // first of kept_marks_ not yet passed
    std::size_t kept_tail_next_ = 0; // and of kept_tail_
    qint64 kept_delta_ = 0;          // old position + kept_delta_ = new position
    qint64 kept_wrapped_to_ = 0;     // wrapped_to_ if they are taken back
};

} // namespace kestrune
