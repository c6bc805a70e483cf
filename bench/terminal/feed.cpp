// SPDX-License-Identifier: MIT
#include "feed.h"

#include "text/gbk.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace kestrune::bench {

Feed byte_feed(qint64 size)
{
    Feed feed{QByteArray(qsizetype(size), Qt::Uninitialized), 3 * size, 0};
    for (qint64 i = 0; i < size; ++i)
        feed.bytes[qsizetype(i)] = char((i * 7 + i / 251) & 0xFF);
    return feed;
}

QByteArray hex_display(const QByteArray &bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    QByteArray text(3 * bytes.size(), Qt::Uninitialized);
    char *d = text.data();
    for (const char ch : bytes) {
        *d++ = digits[quint8(ch) >> 4];
        *d++ = digits[quint8(ch) & 0x0F];
        *d++ = ' ';
    }
    return text;
}

Feed text_feed(qint64 size)
{
    static const std::array<QString, 5> states = {u"正常"_s, u"告警"_s, u"校准中"_s, u"待机"_s, u"通信超时"_s};
    Feed feed{{}, 0, 0};
    feed.bytes.reserve(qsizetype(size));
    for (qint64 n = 0;; ++n) {
        QString line = u"[%1] 温度 T=%2.%3C 湿度 RH=%4% 状态:%5 电压 %6mV 序号=%7"_s.arg(n % 86400, 5, 10, QChar(u'0'))
                           .arg(20 + n % 7)
                           .arg(n % 10)
                           .arg(40 + n % 13)
                           .arg(states[std::size_t(n % qint64(states.size()))])
                           .arg(3300 - n % 50)
                           .arg(n);
        line = line.leftJustified(80, u'.');
        QByteArray bytes = to_gbk(line);
        bytes += "\r\n";
        if (feed.bytes.size() + bytes.size() > size)
            break;
        qint64 wide = 0;
        for (const QChar c : line)
            wide += c.unicode() >= 0x80 ? 1 : 0;
        // Each Chinese character must be two bytes of 0xA1 or more, so that a terminal
        // of any GBK leniency shows it as one character.
        bool plain_pairs = bytes.size() == line.size() + wide + 2;
        for (const char b : bytes)
            plain_pairs = plain_pairs && (quint8(b) < 0x80 || quint8(b) >= 0xA1);
        if (!plain_pairs) {
            std::fprintf(stderr, "text feed: a line is not plain GBK pairs\n");
            std::abort();
        }
        feed.bytes += bytes;
        feed.text_characters += line.size() + 2;
    }
    feed.hex_characters = 3 * feed.bytes.size();
    feed.size = feed.bytes.size();
    return feed;
}

Feed repeated(const Feed &feed, qint64 total, bool whole)
{
    const qint64 block = feed.bytes.size();
    if (whole)
        total = std::max<qint64>(total / block, 1) * block;
    Feed out{feed.bytes, 3 * total, feed.text_characters * (total / block), total};
    return out;
}

} // namespace kestrune::bench
