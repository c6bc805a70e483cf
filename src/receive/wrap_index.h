#pragma once
// Word wrap of the receive box: the greedy line breaker, and the index of visual
// line starts built from it incrementally.
//
// A line breaks at the box's width, after a run of spaces or TABs where it can
// (the blanks hang past the edge) and before or after a CJK ideograph; a word
// longer than the line breaks anywhere. CR LF, a lone LF and a lone CR each end
// a line; TAB advances to the next tab stop.

#include "receive/char_widths.h"
#include "receive/line_starts.h"
#include "receive/text_store.h"

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
    bool feed(const TextStore::Segment &segment, Found &&found)
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
        return begin_line(end, found);
    }

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
        switch (c) {
        case ' ': return Space;
        case '\t': return Tab;
        case '\r': return Cr;
        case '\n': return Lf;
        default: return Other;
        }
    }
    qreal advance_of(char c) const { return widths_.latin1_advance(quint8(c)); }
    qreal advance_of(char16_t c) const { return widths_.advance(c); }
    static Kind kind_of_unit(char c) { return latin1_kind(quint8(c)); }
    static Kind kind_of_unit(char16_t c) { return kind_of(c); }

    template <typename Found>
    bool begin_line(qint64 start, Found &found)
    {
        line_start_ = start;
        break_ = start;
        x_ = 0;
        word_x_ = 0;
        return found(start);
    }

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
    for (qsizetype i = 0; i < n; ++i) {
        const Unit c = units[i];
        const qint64 at = first + i;
        const Kind kind = kind_of_unit(c);
        if (pending_cr_) {
            pending_cr_ = false;
            if (kind == Lf) {
                if (!begin_line(at + 1, found))
                    return false;
                continue;
            }
            if (!begin_line(at, found))
                return false;
        }
        switch (kind) {
        case Space:
            x_ += advance_of(c);
            break_ = at + 1;
            word_x_ = 0;
            break;
        case Tab:
            x_ = widths_.next_tab_stop(x_);
            break_ = at + 1;
            word_x_ = 0;
            break;
        case Lf:
            if (!begin_line(at + 1, found))
                return false;
            break;
        case Cr:
            pending_cr_ = true;
            break;
        default: {
            if (kind == Ideograph && at > line_start_) {
                break_ = at;
                word_x_ = 0;
            }
            const qreal w = advance_of(c);
            if (x_ + w > width_ && at > line_start_ && kind != Joiner) {
                if (break_ > line_start_) {
                    // The word so far moves to the next line with its width.
                    const qreal carried = word_x_;
                    if (!begin_line(break_, found))
                        return false;
                    x_ = carried;
                    word_x_ = carried;
                }
                if (x_ + w > width_ && at > line_start_) {
                    if (!begin_line(at, found))
                        return false;
                }
            }
            x_ += w;
            word_x_ += w;
            if (kind == Ideograph) {
                break_ = at + 1;
                word_x_ = 0;
            }
        }
        }
    }
    return true;
}

// The starts of all visual lines of a text at one width. The index is built
// from the front: lines that start before open_line_start() are final, the open
// line and what follows are wrapped on by wrap(), a slice at a time if asked.
class WrapIndex
{
public:
    explicit WrapIndex(const CharWidths &widths);

    // A new width (or new character widths): every line is wrapped again.
    void set_width(qreal width);
    qreal width() const { return width_; }

    // The text now has size characters and nothing wrapped (set_text, clear).
    void reset(qint64 size);
    // removed characters at pos were replaced by inserted ones. Lines after the
    // change are kept aside and taken back once wrapping meets one of them again.
    void text_replaced(qint64 pos, qint64 removed, qint64 inserted);

    // Wraps on, at least budget characters past what was wrapped before, or to
    // the end. Returns complete().
    bool wrap(const TextStore &store, qint64 budget);
    bool complete() const { return wrapped_to_ == size_; }
    qint64 open_line_start() const { return lines_.back(); }
    // Whether the line holding pos and its end are known.
    bool exact_for(qint64 pos) const { return complete() || pos < open_line_start(); }

    // All lines once complete(); the final ones plus the open line before.
    qint64 line_count() const { return lines_.size(); }
    qint64 line_start(qint64 line) const { return lines_.at(line); }
    qint64 line_of(qint64 pos) const { return std::max<qint64>(lines_.last_at_or_before(pos), 0); }

    qint64 heap_bytes() const { return lines_.heap_bytes() + kept_.heap_bytes(); }

private:
    void forget_kept();

    const CharWidths &widths_;
    qreal width_ = 1;
    qint64 size_ = 0;       // characters in the text
    qint64 wrapped_to_ = 0; // characters fed so far
    LineStarts lines_;      // always holds at least the start 0

    // Lines after the last change, in old positions, that may be taken back.
    LineStarts kept_;
    qint64 kept_next_ = 0;       // first entry of kept_ not yet passed
    qint64 kept_delta_ = 0;      // old position + kept_delta_ = new position
    qint64 kept_wrapped_to_ = 0; // wrapped_to_ if they are taken back
};

} // namespace kestrune
