// SPDX-License-Identifier: MIT
#pragma once
// Character advances in the receive box's font. Every character two GBK bytes
// spell is measured ahead on a thread of its own: asking the font for thousands
// of glyphs on the window thread, as the first burst of random text did, held it
// up for a third of a second.

#include "history/char_widths.h"

#include <memory>

class QFont;

namespace kestrune {

// Advances measured ahead with a font of its own; the last owner stops the
// worker and waits for it.
class AheadWidths;

// Advances in font, tab stops every eight average characters, control pictures
// when the font has them; widths come from `ahead` once it has them.
CharWidths font_widths(const QFont &font, std::shared_ptr<const AheadWidths> ahead);

// Starts measuring ahead for font.
std::shared_ptr<const AheadWidths> measure_ahead(const QFont &font);
// True once every character measured ahead is in.
bool measured_ahead(const AheadWidths &ahead);

} // namespace kestrune
