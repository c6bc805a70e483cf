// SPDX-License-Identifier: MIT
#pragma once
// Decimal numbers as the window shows and reads them.

#include <QString>
#include <QStringView>

namespace kestrune {

// A count as a count box shows it: signed decimal, no leading zeros, no grouping.
QString signed_decimal(qint64 value);

// The leading decimal integer of a text: blanks skipped, an optional "+" or "-",
// then the digits up to the first other character; no digit gives 0. The value
// is clamped to the signed 32-bit range.
qint32 leading_integer(QStringView text);

} // namespace kestrune
