// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QImage>

namespace kestrune {

// The window icon: a grey-blue serial connector plug with gold pins, drawn from the
// same SVG as the installed icons, at 48, 32, 24 and 16 pixels with transparency.
QIcon window_icon();

// One size of it.
QImage window_icon_image(int size);

} // namespace kestrune
