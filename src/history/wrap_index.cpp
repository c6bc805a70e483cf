// SPDX-License-Identifier: MIT
#include "history/wrap_index.h"

#include <algorithm>
#include <climits>

namespace kestrune {

void LineBreaker::start_at(qint64 line_start)
{
    line_start_ = line_start;
    break_ = line_start;
    x_ = 0;
    word_x_ = 0;
    pending_cr_ = false;
}

WrapIndex::WrapIndex(const History &text, const CharWidths &widths, qint64 mark_spacing, qint64 tail_chars)
    : text_(text), widths_(widths), mark_spacing_(std::max<qint64>(mark_spacing, 1)),
      tail_chars_(std::max<qint64>(tail_chars, 1))
{
    set_width(width_);
}

void WrapIndex::set_width(qreal width)
{
    width_ = width;
    forget_kept();
    marks_.clear();
    marks_.pos.push_back(0);
    marks_.line.push_back(0);
    tail_.assign(1, 0);
    tail_line_ = 0;
    wrapped_to_ = 0;
}

void WrapIndex::reset(qint64 size)
{
    size_ = size;
    set_width(width_);
}

void WrapIndex::forget_kept()
{
    kept_marks_.clear();
    kept_tail_.clear();
    kept_mark_next_ = 0;
    kept_tail_next_ = 0;
}

qint64 WrapIndex::line_start(qint64 line) const
{
    line = std::clamp<qint64>(line, 0, line_count() - 1);
    if (line >= tail_line_)
        return tail_[std::size_t(line - tail_line_)];
    const qint64 mark = marks_.line.last_at_or_before(line);
    qint64 start = marks_.pos.at(mark);
    qint64 left = line - marks_.line.at(mark);
    if (left > 0) {
        wrap_lines(text_, widths_, width_, start, [&](qint64 next) {
            start = next;
            return --left > 0;
        });
    }
    return start;
}

qint64 WrapIndex::line_of(qint64 pos) const
{
    if (pos >= tail_.front()) {
        const auto it = std::upper_bound(tail_.begin(), tail_.end(), pos);
        return tail_line_ + qint64(it - tail_.begin()) - 1;
    }
    const qint64 mark = std::max<qint64>(marks_.pos.last_at_or_before(pos), 0);
    qint64 line = marks_.line.at(mark);
    wrap_lines(text_, widths_, width_, marks_.pos.at(mark), [&](qint64 next) {
        if (next > pos)
            return false;
        ++line;
        return true;
    });
    return line;
}

// The start of the line after start, when the characters before limit settle it; -1 otherwise.
qint64 WrapIndex::next_line_before(qint64 start, qint64 limit) const
{
    LineBreaker breaker(widths_, width_);
    breaker.start_at(start);
    qint64 next = -1;
    auto found = [&next](qint64 at) {
        next = at;
        return false;
    };
    text_.visit_segments(start, limit, [&](const History::Segment &segment) {
        return breaker.feed(segment, found);
    });
    return next;
}

void WrapIndex::push_line(qint64 start)
{
    const qint64 line = line_count();
    if (start - marks_.pos.back() >= mark_spacing_) {
        marks_.pos.push_back(start);
        marks_.line.push_back(line);
    }
    tail_.push_back(start);
    if (tail_.back() - tail_.front() > 2 * tail_chars_)
        trim_tail();
}

// The tail begins again at the last mark at least tail_chars before its end.
void WrapIndex::trim_tail()
{
    const qint64 mark = marks_.pos.last_at_or_before(tail_.back() - tail_chars_);
    if (mark < 0)
        return;
    const qint64 from = marks_.pos.at(mark);
    if (from <= tail_.front())
        return;
    const auto it = std::lower_bound(tail_.begin(), tail_.end(), from);
    tail_line_ += qint64(it - tail_.begin());
    tail_.erase(tail_.begin(), it);
}

void WrapIndex::text_replaced(qint64 pos, qint64 removed, qint64 inserted)
{
    const qint64 delta = inserted - removed;
    const bool was_complete = complete();
    const qint64 old_size = size_;
    size_ += delta;
    forget_kept();
    // Lines found so far were settled by characters before wrapped_to_.
    if (!was_complete && pos >= wrapped_to_)
        return;

    // Wrapping resumes at a known line start that the change cannot move. A
    // line's end is settled by a character no later than the start of the line
    // after next (a word carried over settles it from within that line): so a
    // start holds when the start after it is before pos and was found from the
    // characters before pos.
    bool in_tail = false;
    qint64 resume_index = 0;
    if (pos >= tail_.front()) {
        const qint64 line = qint64(std::upper_bound(tail_.begin(), tail_.end(), pos) - tail_.begin()) - 1;
        qint64 back = tail_[std::size_t(line)] < pos ? 1 : 2;
        // At the end of a wrapped text every line was settled by a character
        // before pos, so an append only re-wraps the last line.
        if (was_complete && pos == old_size && tail_[std::size_t(line)] < pos)
            back = 0;
        in_tail = line - back >= 0;
        resume_index = line - back;
    }
    if (!in_tail) {
        resume_index = std::max<qint64>(marks_.pos.last_at_or_before(pos - 1), 0);
        if (resume_index > 0 && next_line_before(marks_.pos.at(resume_index), pos) < 0)
            --resume_index;
    }
    const qint64 resume = in_tail ? tail_[std::size_t(resume_index)] : marks_.pos.at(resume_index);

    // What starts after the change is kept aside, in old positions.
    const qint64 threshold = std::max(pos + removed, resume + 1);
    const qint64 first_kept = marks_.pos.last_at_or_before(threshold - 1) + 1;
    kept_marks_.pos = marks_.pos.take_from(first_kept);
    kept_marks_.line = marks_.line.take_from(first_kept);
    const auto kept_from = std::lower_bound(tail_.begin(), tail_.end(), threshold);
    kept_tail_.assign(kept_from, tail_.end());
    kept_tail_line_ = tail_line_ + qint64(kept_from - tail_.begin());
    kept_delta_ = delta;
    kept_wrapped_to_ = wrapped_to_ + delta;

    if (in_tail) {
        tail_.resize(std::size_t(resume_index + 1));
        const qint64 marks = marks_.pos.last_at_or_before(resume) + 1;
        marks_.pos.truncate(marks);
        marks_.line.truncate(marks);
    } else {
        marks_.pos.truncate(resume_index + 1);
        marks_.line.truncate(resume_index + 1);
        tail_.assign(1, marks_.pos.back());
        tail_line_ = marks_.line.back();
    }
    wrapped_to_ = tail_.back();
}

// When start is a kept line start, the kept lines from it on hold again, moved
// by the change in characters and in lines: they are taken back.
bool WrapIndex::take_back(qint64 start)
{
    const qint64 tail_front = kept_tail_.empty() ? LLONG_MAX : kept_tail_.front();
    // Marks before the kept tail first.
    while (kept_mark_next_ < kept_marks_.pos.size() && kept_marks_.pos.at(kept_mark_next_) < tail_front
           && kept_marks_.pos.at(kept_mark_next_) + kept_delta_ < start)
        ++kept_mark_next_;
    if (kept_mark_next_ < kept_marks_.pos.size() && kept_marks_.pos.at(kept_mark_next_) < tail_front
        && kept_marks_.pos.at(kept_mark_next_) + kept_delta_ == start && !kept_tail_.empty()) {
        const qint64 line_delta = line_count() - kept_marks_.line.at(kept_mark_next_);
        marks_.pos.append_shifted(std::move(kept_marks_.pos), kept_mark_next_, kept_delta_);
        marks_.line.append_shifted(std::move(kept_marks_.line), kept_mark_next_, line_delta);
        tail_.clear();
        for (const qint64 old : kept_tail_)
            tail_.push_back(old + kept_delta_);
        tail_line_ = kept_tail_line_ + line_delta;
    } else {
        while (kept_tail_next_ < kept_tail_.size() && kept_tail_[kept_tail_next_] + kept_delta_ < start)
            ++kept_tail_next_;
        if (kept_tail_next_ >= kept_tail_.size() || kept_tail_[kept_tail_next_] + kept_delta_ != start)
            return false;
        const qint64 old = kept_tail_[kept_tail_next_];
        const qint64 line_delta = line_count() - (kept_tail_line_ + qint64(kept_tail_next_));
        const qint64 first_mark = kept_marks_.pos.last_at_or_before(old - 1) + 1;
        marks_.pos.append_shifted(std::move(kept_marks_.pos), first_mark, kept_delta_);
        marks_.line.append_shifted(std::move(kept_marks_.line), first_mark, line_delta);
        for (std::size_t i = kept_tail_next_; i < kept_tail_.size(); ++i)
            tail_.push_back(kept_tail_[i] + kept_delta_);
    }
    wrapped_to_ = kept_wrapped_to_;
    forget_kept();
    trim_tail();
    return true;
}

bool WrapIndex::wrap(qint64 budget)
{
    if (complete())
        return true;
    const qint64 from = tail_.back();
    const qint64 limit = std::min(size_, std::max(wrapped_to_, from) + std::max<qint64>(budget, 1));
    LineBreaker breaker(widths_, width_);
    breaker.start_at(from);
    bool met = false;
    auto found = [&](qint64 start) {
        if (take_back(start)) {
            met = true;
            return false;
        }
        push_line(start);
        return true;
    };
    text_.visit_segments(from, limit, [&](const History::Segment &segment) {
        return breaker.feed(segment, found);
    });
    if (met)
        return complete();
    wrapped_to_ = limit;
    if (limit == size_) {
        breaker.finish(size_, found);
        if (!met) {
            wrapped_to_ = size_;
            forget_kept();
        }
    }
    return complete();
}

qint64 WrapIndex::heap_bytes() const
{
    return marks_.pos.heap_bytes() + marks_.line.heap_bytes() + kept_marks_.pos.heap_bytes()
           + kept_marks_.line.heap_bytes()
           + qint64((tail_.capacity() + kept_tail_.capacity()) * sizeof(qint64));
}

} // namespace kestrune
