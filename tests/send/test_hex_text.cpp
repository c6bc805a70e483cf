// SPDX-License-Identifier: MIT
#include "send/hex_text.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace kestrune {

class TestHexText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void converts_data();
    void converts();
    void pairs_data();
    void pairs();
};

void TestHexText::converts_data()
{
    QTest::addColumn<QByteArray>("gbk");
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << ""_ba << ""_ba << ""_ba;
    QTest::newRow("spaces and line breaks") << "  \r\n \t\r\n"_ba << ""_ba << ""_ba;
    QTest::newRow("no digit letters") << "xyz"_ba << ""_ba << ""_ba;
    QTest::newRow("single 0") << "0"_ba << "00"_ba << "\x00"_ba;
    QTest::newRow("single A") << "A"_ba << "0A"_ba << "\x0A"_ba;
    QTest::newRow("single lower f") << "f"_ba << "0F"_ba << "\x0F"_ba;
    QTest::newRow("odd count pads the last digit only") << "1 2 3"_ba << "1203"_ba << "\x12\x03"_ba;
    QTest::newRow("three F") << "FFF"_ba << "FF0F"_ba << "\xFF\x0F"_ba;
    QTest::newRow("lower-case pairs") << "ab cd"_ba << "ABCD"_ba << "\xAB\xCD"_ba;
    QTest::newRow("mixed case") << "De aD"_ba << "DEAD"_ba << "\xDE\xAD"_ba;
    QTest::newRow("punctuation between pairs") << "12,34;56"_ba << "123456"_ba << "\x12\x34\x56"_ba;
    QTest::newRow("0x prefix") << "0x1F"_ba << "010F"_ba << "\x01\x0F"_ba;
    QTest::newRow("pair across a line break") << "1\r\n2"_ba << "12"_ba << "\x12"_ba;
    QTest::newRow("minus sign") << "-12"_ba << "12"_ba << "\x12"_ba;
    QTest::newRow("G is no digit") << "G1"_ba << "01"_ba << "\x01"_ba;
    QTest::newRow("full-width digits") << "\xA3\xB1\xA3\xB2"_ba << ""_ba << ""_ba;
    QTest::newRow("full-width capital A") << "\xA3\xC1"_ba << ""_ba << ""_ba;
    QTest::newRow("full-width space between pairs") << "12\xA1\xA1" "34"_ba << "1234"_ba << "\x12\x34"_ba;
    QTest::newRow("trail byte A is a digit") << "\x81\x41"_ba << "0A"_ba << "\x0A"_ba;
    QTest::newRow("trail byte a is not upper-cased") << "\x81\x61"_ba << ""_ba << ""_ba;
    // A unit is exactly two bytes: the letter after it is upper-cased again.
    QTest::newRow("letter after a double-byte unit") << "\xB7\xA2" "a"_ba << "0A"_ba << "\x0A"_ba;
    QTest::newRow("trail a then letter b") << "\xB7" "ab"_ba << "0B"_ba << "\x0B"_ba;
    QTest::newRow("lone high byte at the end") << "12\xB7"_ba << "12"_ba << "\x12"_ba;
    QTest::newRow("lone high byte after lower-case") << "ab\xB7"_ba << "AB"_ba << "\xAB"_ba;
    QTest::newRow("lone high byte after an odd digit") << "1\xB7"_ba << "01"_ba << "\x01"_ba;
}

void TestHexText::converts()
{
    QFETCH(QByteArray, gbk);
    QFETCH(QByteArray, digits);
    QFETCH(QByteArray, bytes);

    QCOMPARE(clean_hex_text(gbk), digits);
    QCOMPARE(hex_text_to_bytes(gbk), bytes);
}

void TestHexText::pairs_data()
{
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << ""_ba << ""_ba;
    QTest::newRow("first pair is the first byte") << "0A1B"_ba << "\x0A\x1B"_ba;
    QTest::newRow("every digit value") << "0123456789ABCDEF"_ba << "\x01\x23\x45\x67\x89\xAB\xCD\xEF"_ba;
    QTest::newRow("lower case is raised") << "ab"_ba << "\xAB"_ba;
    QTest::newRow("unpaired last digit ignored") << "ABC"_ba << "\xAB"_ba;
}

void TestHexText::pairs()
{
    QFETCH(QByteArray, digits);
    QFETCH(QByteArray, bytes);

    QCOMPARE(hex_pairs_to_bytes(digits), bytes);
}

} // namespace kestrune

QTEST_APPLESS_MAIN(kestrune::TestHexText)
#include "test_hex_text.moc"
