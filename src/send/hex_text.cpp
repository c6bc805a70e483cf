// SPDX-License-Identifier: MIT
#include "send/hex_text.h"

namespace kestrune {

namespace {

bool is_lead_byte(char byte)
{
    return quint8(byte) >= 0x80;
}

bool is_hex_digit(char byte)
{
    return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'F');
}

int digit_value(char byte)
{
    return byte >= 'A' ? byte - 55 : byte - 48;
}

// Lower-case ASCII letters raised, unit by unit: a lead byte and the byte after
// it are passed over together, and a lead byte with nothing after it ends the scan.
QByteArray upper_case_units(QByteArrayView gbk)
{
    QByteArray text = gbk.toByteArray();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (is_lead_byte(text[i])) {
            ++i;
            continue;
        }
        if (text[i] >= 'a' && text[i] <= 'z')
            text[i] = char(text[i] - 0x20);
    }
    return text;
}

} // namespace

QByteArray clean_hex_text(QByteArrayView gbk)
{
    const QByteArray upper = upper_case_units(gbk);
    // Each byte on its own, so a trail byte in A..F counts as a digit.
    QByteArray digits;
    digits.reserve(upper.size() + 1);
    for (char byte : upper)
        if (is_hex_digit(byte))
            digits.append(byte);
    if (digits.size() % 2 != 0)
        digits.insert(digits.size() - 1, '0');
    return digits;
}

QByteArray hex_pairs_to_bytes(QByteArrayView digits)
{
    const QByteArray upper = upper_case_units(digits);
    QByteArray bytes(upper.size() / 2, Qt::Uninitialized);
    for (qsizetype k = 0; k < bytes.size(); ++k)
        bytes[k] = char(digit_value(upper[2 * k]) * 16 + digit_value(upper[2 * k + 1]));
    return bytes;
}

QByteArray hex_text_to_bytes(QByteArrayView gbk)
{
    return hex_pairs_to_bytes(clean_hex_text(gbk));
}

} // namespace kestrune
