// SPDX-License-Identifier: MIT
#include "text/decimal.h"

#include <limits>

namespace kestrune {

QString signed_decimal(qint64 value)
{
    return QString::number(value);
}

qint32 leading_integer(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    // Accumulate in 64 bits and stop growing once past the 32-bit range.
    constexpr qint64 limit = qint64(std::numeric_limits<qint32>::max()) + 1;
    qint64 magnitude = 0;
    for (; i < text.size() && text.at(i) >= u'0' && text.at(i) <= u'9'; ++i) {
        if (magnitude <= limit)
            magnitude = magnitude * 10 + (text.at(i).unicode() - u'0');
    }
    const qint64 value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<qint32>::max())
        return std::numeric_limits<qint32>::max();
    if (value < std::numeric_limits<qint32>::min())
        return std::numeric_limits<qint32>::min();
    return qint32(value);
}

} // namespace kestrune
