// SPDX-License-Identifier: MIT
#pragma once
// Character advances for laying out the receive box, measured once per character
// and kept in tables, so wrapping never asks the font on its hot path.

#include <QtGlobal>

#include <array>
#include <functional>
#include <vector>

namespace kestrune {

class CharWidths
{
public:
    using Measure = std::function<qreal(char16_t)>;

    // measure gives the advance of a character as drawn; tab_distance is the
    // spacing of tab stops (none when not positive: a TAB then advances like a
    // space); without pictures, control characters are not drawn and take no room.
    CharWidths(Measure measure, qreal tab_distance, bool control_pictures = true);

    // What is drawn for c: for the C0 controls (TAB, LF and CR excepted) and DEL
    // a control picture, or 0 for nothing; c itself otherwise.
    char16_t shown(char16_t c) const
    {
        if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            return control_pictures_ ? char16_t(0x2400 + c) : char16_t(0);
        if (c == 0x7F)
            return control_pictures_ ? char16_t(0x2421) : char16_t(0);
        return c;
    }

    // The advance of c as drawn: 0 for TAB, LF, CR and the second half of a surrogate pair.
    qreal advance(char16_t c) const
    {
        if (c < 0x100)
            return latin1_[c];
        float &w = wide_[c];
        if (w < 0)
            w = measure_wide(c);
        return w;
    }
    qreal latin1_advance(quint8 c) const { return latin1_[c]; }

    qreal tab_distance() const { return tab_distance_; }
    qreal next_tab_stop(qreal x) const;

private:
    float measure_wide(char16_t c) const;

    Measure measure_;
    qreal tab_distance_;
    bool control_pictures_;
    std::array<float, 256> latin1_{};
    mutable std::vector<float> wide_; // negative until measured
};

} // namespace kestrune
