// SPDX-License-Identifier: MIT
#include "text/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>
#include <memory>

using namespace Qt::StringLiterals;

namespace kestrune {

namespace {

bool is_ascii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// gbk_pair's table: for every lead byte 0x80..0xFF and every second byte, the
// character the two spell, or 0. Built once from Qt's own GBK decoder.
using PairTable = std::array<char16_t, 128 * 256>;

// A pair is a character only when both bytes are in GBK's ranges and the
// character encodes back to them: Qt's decoder reads 0x80 and 0xFF as single
// characters and drops a lead byte left at the end, so "one character" alone
// would take 0xFF followed by a lead as a pair.
bool is_pair_byte_range(int lead, int trail)
{
    return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

std::unique_ptr<PairTable> build_pair_table()
{
    auto table = std::make_unique<PairTable>();
    QStringDecoder decoder("GBK", QStringDecoder::Flag::Stateless);
    QStringEncoder encoder("GBK", QStringEncoder::Flag::Stateless);
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        for (int trail = 0; trail <= 0xFF; ++trail) {
            char16_t character = 0;
            if (is_pair_byte_range(lead, trail)) {
                const char pair[2] = {char(lead), char(trail)};
                decoder.resetState();
                const QString text = decoder.decode(QByteArrayView(pair, 2));
                encoder.resetState();
                if (text.size() == 1 && QByteArray(encoder.encode(text)) == QByteArrayView(pair, 2))
                    character = text.at(0).unicode();
            }
            (*table)[std::size_t((lead - 0x80) * 256 + trail)] = character;
        }
    }
    return table;
}

} // namespace

QByteArray to_gbk(QStringView text)
{
    if (is_ascii(text))
        return text.toLatin1();
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

QString from_gbk(QByteArrayView bytes)
{
    QStringDecoder decoder("GBK");
    return decoder.decode(bytes);
}

char16_t gbk_pair(quint8 lead, quint8 trail)
{
    if (lead < 0x80)
        return 0;
    static const std::unique_ptr<PairTable> table = build_pair_table();
    return (*table)[std::size_t((lead - 0x80) * 256 + trail)];
}

QByteArray edit_text_bytes(QStringView plain_text)
{
    QString text;
    text.reserve(plain_text.size());
    for (QChar c : plain_text) {
        if (c == u'\n' || c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            text += u"\r\n"_s;
        else
            text += c;
    }
    return to_gbk(text);
}

} // namespace kestrune
