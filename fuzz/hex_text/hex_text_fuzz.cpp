// SPDX-License-Identifier: MIT
// The HEX send text over arbitrary GBK bytes: the digits found, their pairing and
// padding, and the round trip back to hex digits.

#include "fuzz_support.h"
#include "send/hex_text.h"

using namespace kestrune;

namespace {

bool is_hex_digit(char b)
{
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'F');
}

char upper(char b)
{
    return b >= 'a' && b <= 'z' ? char(b - 0x20) : b;
}

// The text cut into units: a byte of 0x80 or more with the byte after it, any
// other byte alone. A lead with nothing after it comes last, on its own.
QList<QByteArrayView> units(QByteArrayView text)
{
    QList<QByteArrayView> out;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = quint8(text[i]) >= 0x80 && i + 1 < text.size() ? 2 : 1;
        out.append(text.sliced(i, n));
        i += n;
    }
    return out;
}

// The digits a unit adds: a single byte in either case, a double-byte unit only
// through a trail byte that already is an upper-case digit.
QByteArray unit_digits(QByteArrayView unit)
{
    if (unit.size() == 1)
        return quint8(unit[0]) < 0x80 && is_hex_digit(upper(unit[0])) ? QByteArray(1, upper(unit[0])) : QByteArray();
    return is_hex_digit(unit[1]) ? QByteArray(1, unit[1]) : QByteArray();
}

} // namespace

// The first byte picks units to edit (bit i % 8 for unit i); the rest is the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const quint8 selector = data[0];
    const QByteArrayView text(data + 1, qsizetype(size - 1));
    const QList<QByteArrayView> text_units = units(text);

    // The digits in unit order, an odd last one with "0" put before it.
    QByteArray expected_digits;
    for (const QByteArrayView unit : text_units)
        expected_digits += unit_digits(unit);
    if (expected_digits.size() % 2 != 0)
        expected_digits.insert(expected_digits.size() - 1, '0');

    const QByteArray digits = clean_hex_text(text);
    KESTRUNE_FUZZ_CHECK(digits == expected_digits);

    const QByteArray bytes = hex_text_to_bytes(text);
    KESTRUNE_FUZZ_CHECK(bytes.size() == digits.size() / 2);
    KESTRUNE_FUZZ_CHECK(bytes.toHex().toUpper() == digits);

    // Units without a digit may go and single-byte letters may change case: the
    // bytes stay. Whole units only, since a lone byte taken out would re-pair the rest.
    QByteArray edited;
    for (qsizetype i = 0; i < text_units.size(); ++i) {
        const QByteArrayView unit = text_units[i];
        const bool picked = (selector >> (i % 8)) & 1;
        if (picked && unit_digits(unit).isEmpty())
            continue;
        const char b = unit[0];
        if (picked && unit.size() == 1 && ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z')))
            edited.append(char(b ^ 0x20));
        else
            edited.append(unit);
    }
    KESTRUNE_FUZZ_CHECK(hex_text_to_bytes(edited) == bytes);
    return 0;
}
