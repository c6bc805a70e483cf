#include "receive/wrap_index.h"

namespace kestrune {

void LineBreaker::start_at(qint64 line_start)
{
    line_start_ = line_start;
    break_ = line_start;
    x_ = 0;
    word_x_ = 0;
    pending_cr_ = false;
}

WrapIndex::WrapIndex(const CharWidths &widths) : widths_(widths)
{
    lines_.push_back(0);
}

void WrapIndex::set_width(qreal width)
{
    width_ = width;
    forget_kept();
    lines_.clear();
    lines_.push_back(0);
    wrapped_to_ = 0;
}

void WrapIndex::reset(qint64 size)
{
    size_ = size;
    set_width(width_);
}

void WrapIndex::forget_kept()
{
    kept_.clear();
    kept_next_ = 0;
}

void WrapIndex::text_replaced(qint64 pos, qint64 removed, qint64 inserted)
{
    const qint64 delta = inserted - removed;
    const bool was_complete = complete();
    size_ += delta;
    forget_kept();
    // Lines found so far were settled by characters before wrapped_to_.
    if (!was_complete && pos >= wrapped_to_)
        return;
    // A line's end is settled by a character no later than the start of the line
    // after next (a word carried over settles it from within that line): so the
    // line before the changed one is wrapped again, and the one before that
    // when the change is right at a line start.
    const qint64 line = line_of(pos);
    qint64 back = lines_.at(line) < pos ? 1 : 2;
    // At the end of a wrapped text every line was settled by a character before
    // pos, so an append only re-wraps the last line.
    if (was_complete && pos == size_ - delta && lines_.at(line) < pos)
        back = 0;
    const qint64 resume = std::max<qint64>(line - back, 0);
    const qint64 first_kept = lines_.last_at_or_before(pos + removed - 1) + 1;
    kept_ = lines_.take_from(std::max(first_kept, resume + 1));
    lines_.truncate(resume + 1);
    kept_next_ = 0;
    kept_delta_ = delta;
    kept_wrapped_to_ = wrapped_to_ + delta;
    wrapped_to_ = lines_.back();
}

bool WrapIndex::wrap(const TextStore &store, qint64 budget)
{
    if (complete())
        return true;
    const qint64 from = lines_.back();
    const qint64 limit = std::min(size_, std::max(wrapped_to_, from) + std::max<qint64>(budget, 1));
    LineBreaker breaker(widths_, width_);
    breaker.start_at(from);
    bool met = false;
    auto found = [&](qint64 start) {
        while (kept_next_ < kept_.size() && kept_.at(kept_next_) + kept_delta_ < start)
            ++kept_next_;
        if (kept_next_ < kept_.size() && kept_.at(kept_next_) + kept_delta_ == start) {
            // From a line start in unchanged text on, the old lines hold again.
            lines_.append_shifted(std::move(kept_), kept_next_, kept_delta_);
            wrapped_to_ = kept_wrapped_to_;
            forget_kept();
            met = true;
            return false;
        }
        lines_.push_back(start);
        return true;
    };
    store.visit_segments(from, limit, [&](const TextStore::Segment &segment) {
        return breaker.feed(segment, found);
    });
    if (met)
        return complete();
    wrapped_to_ = limit;
    if (limit == size_) {
        breaker.finish(size_, found);
        wrapped_to_ = size_;
        forget_kept();
    }
    return complete();
}

} // namespace kestrune
