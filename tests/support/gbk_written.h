// SPDX-License-Identifier: MIT
#pragma once
// What a history or a receive box writes when saved, as one byte string.

#include <QBuffer>
#include <QByteArray>

namespace kestrune::test {

template <typename Source>
QByteArray gbk_written(const Source &source)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    source.write_gbk(buffer);
    return bytes;
}

} // namespace kestrune::test
