// SPDX-License-Identifier: MIT
#pragma once
// GBK, the code page of every byte the program sends, receives and saves.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace kestrune {

// The GBK bytes of a text; a character GBK has no code for becomes "?".
QByteArray to_gbk(QStringView text);

// The text of GBK bytes; bytes that spell no character become U+FFFD.
QString from_gbk(QByteArrayView bytes);

// The one character that a lead byte (0x80 or more) and the byte after it spell
// in GBK, or 0 when the two bytes are not one GBK character. Table lookup: cheap
// enough for the receive path.
char16_t gbk_pair(quint8 lead, quint8 trail);

// The bytes of an edit box's text as the line gets them: GBK, with each line
// break of Qt's text widgets ("\n", U+2029 or U+2028) written as CR LF.
QByteArray edit_text_bytes(QStringView plain_text);

} // namespace kestrune
