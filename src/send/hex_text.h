// SPDX-License-Identifier: MIT
#pragma once
// The send box read as hexadecimal digits: only 0-9 and A-F count, paired from
// the left, an odd last digit padded with a leading "0". Works on GBK bytes.

#include <QByteArray>
#include <QByteArrayView>

namespace kestrune {

// The digits of a GBK text, upper-cased and padded to an even count.
QByteArray clean_hex_text(QByteArrayView gbk);

// The bytes spelled by consecutive digit pairs; a last unpaired digit is ignored.
QByteArray hex_pairs_to_bytes(QByteArrayView digits);

// hex_pairs_to_bytes(clean_hex_text(gbk)).
QByteArray hex_text_to_bytes(QByteArrayView gbk);

} // namespace kestrune
