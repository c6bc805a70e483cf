// SPDX-License-Identifier: MIT
// Decoding of PARMRK-marked input into bytes and line-status events.

#include "port/line_input.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace kestrune;

namespace {

// "61 62 | <4> | 41": byte runs in hex, statuses in angle brackets.
QString describe(const QList<LineInputItem> &items)
{
    QStringList parts;
    for (const LineInputItem &item : items)
        parts.append(std::holds_alternative<LineStatus>(item)
                         ? u"<%1>"_s.arg(int(std::get<LineStatus>(item)))
                         : QString::fromLatin1(std::get<QByteArray>(item).toHex(' ')));
    return parts.join(" | "_L1);
}

} // namespace

class LineInputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decoding_data();
    void decoding();
    void every_split_gives_the_same_result_data();
    void every_split_gives_the_same_result();
};

void LineInputTest::decoding_data()
{
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain bytes") << QByteArrayList{"ab"_ba} << u"61 62"_s;
    QTest::newRow("reads merge into one run") << QByteArrayList{"ab"_ba, "c"_ba} << u"61 62 63"_s;
    QTest::newRow("doubled FF is one FF") << QByteArrayList{"a\xFF\xFF" "b"_ba} << u"61 ff 62"_s;
    QTest::newRow("FF pair split across reads") << QByteArrayList{"a\xFF"_ba, "\xFF" "b"_ba} << u"61 ff 62"_s;
    QTest::newRow("byte with a line error")
        << QByteArrayList{QByteArray("a\xFF\x00" "Bc", 5)} << u"61 | <4> | 42 63"_s;
    QTest::newRow("FF with a line error")
        << QByteArrayList{QByteArray("\xFF\x00\xFF", 3)} << u"<4> | ff"_s;
    QTest::newRow("break gives a NUL")
        << QByteArrayList{QByteArray("a\xFF\x00\x00", 4)} << u"61 | <1> | 00"_s;
    QTest::newRow("mark split after its NUL")
        << QByteArrayList{QByteArray("\xFF\x00", 2), "X"_ba} << u"<4> | 58"_s;
    QTest::newRow("unmarked FF is kept") << QByteArrayList{"\xFF" "Z"_ba} << u"ff 5a"_s;
    QTest::newRow("FF at the end waits for its pair") << QByteArrayList{"a\xFF"_ba} << u"61"_s;
}

void LineInputTest::decoding()
{
    QFETCH(QByteArrayList, reads);
    QFETCH(QString, expected);

    MarkedInputDecoder decoder;
    LineInput input;
    for (const QByteArray &read : reads)
        decoder.decode(read, input);
    QCOMPARE(describe(input.take()), expected);
    QVERIFY(input.is_empty());
}

void LineInputTest::every_split_gives_the_same_result_data()
{
    QTest::addColumn<QByteArray>("marked");
    QTest::addColumn<QString>("expected");

    QTest::newRow("mixed") << QByteArray("a\xFF\xFF\xFF\x00" "b\xFF\x00\x00" "c\xFF\xFF", 12)
                           << u"61 ff | <4> | 62 | <1> | 00 63 ff"_s;
    QTest::newRow("marks only") << "\xFF\xFF\xFF\xFF"_ba << u"ff ff"_s;
}

void LineInputTest::every_split_gives_the_same_result()
{
    QFETCH(QByteArray, marked);
    QFETCH(QString, expected);

    for (qsizetype cut = 0; cut <= marked.size(); ++cut) {
        MarkedInputDecoder decoder;
        LineInput input;
        decoder.decode(marked.first(cut), input);
        LineInput later;
        decoder.decode(marked.sliced(cut), later);
        input.append(std::move(later));
        QCOMPARE(describe(input.take()), expected);
    }
}

QTEST_APPLESS_MAIN(LineInputTest)
#include "test_line_input.moc"
