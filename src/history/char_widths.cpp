// SPDX-License-Identifier: MIT
#include "history/char_widths.h"

#include <cmath>

namespace kestrune {

CharWidths::CharWidths(Measure measure, qreal tab_distance, bool control_pictures)
    : measure_(std::move(measure)), tab_distance_(tab_distance), control_pictures_(control_pictures),
      wide_(0x10000, -1.0f)
{
    for (int c = 0; c < 0x100; ++c) {
        const char16_t drawn = shown(char16_t(c));
        const bool blank = drawn == 0 || drawn == u'\t' || drawn == u'\n' || drawn == u'\r';
        latin1_[std::size_t(c)] = blank ? 0.0f : float(measure_(drawn));
    }
}

float CharWidths::measure_wide(char16_t c) const
{
    if (c >= 0xDC00 && c < 0xE000)
        return 0.0f;
    if (c >= 0xD800 && c < 0xDC00)
        return float(measure_(u'\uFFFD'));
    return float(measure_(c));
}

qreal CharWidths::next_tab_stop(qreal x) const
{
    if (tab_distance_ <= 0)
        return x + latin1_[u' '];
    return (std::floor(x / tab_distance_) + 1) * tab_distance_;
}

} // namespace kestrune
