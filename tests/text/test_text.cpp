// SPDX-License-Identifier: MIT
#include "text/decimal.h"
#include "text/gbk.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace kestrune;

class TestText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void leading_integer_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("digits") << u"100"_s << 100;
        QTest::newRow("leading zeros") << u"007"_s << 7;
        QTest::newRow("blanks and plus") << u"  \t+42"_s << 42;
        QTest::newRow("minus") << u"-5"_s << -5;
        QTest::newRow("minus zero") << u"-0"_s << 0;
        QTest::newRow("stops at a letter") << u"12ab3"_s << 12;
        QTest::newRow("letters only") << u"abc"_s << 0;
        QTest::newRow("sign alone") << u"-"_s << 0;
        QTest::newRow("blank after sign") << u"- 5"_s << 0;
        QTest::newRow("max") << u"2147483647"_s << 2147483647;
        QTest::newRow("above max") << u"2147483648"_s << 2147483647;
        QTest::newRow("far above max") << u"99999999999999999999999"_s << 2147483647;
        QTest::newRow("min") << u"-2147483648"_s << int(-2147483647 - 1);
        QTest::newRow("below min") << u"-2147483649"_s << int(-2147483647 - 1);
        QTest::newRow("full-width digits are no digits") << u"１２"_s << 0;
    }
    void leading_integer()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(kestrune::leading_integer(text), value);
    }

    void signed_decimal_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << u"0"_s;
        QTest::newRow("past 32 bits") << qint64(2147483648) << u"2147483648"_s;
        QTest::newRow("negative") << qint64(-12345) << u"-12345"_s;
        QTest::newRow("no grouping") << qint64(1234567) << u"1234567"_s;
    }
    void signed_decimal()
    {
        QFETCH(qint64, value);
        QFETCH(QString, text);
        QCOMPARE(kestrune::signed_decimal(value), text);
    }

    void gbk_pair_data()
    {
        QTest::addColumn<int>("lead");
        QTest::addColumn<int>("trail");
        QTest::addColumn<int>("character"); // 0: not one character
        QTest::newRow("中") << 0xD6 << 0xD0 << int(u'中');
        QTest::newRow("trail below 0x80") << 0x81 << 0x40 << int(u'丂');
        QTest::newRow("B0 41") << 0xB0 << 0x41 << int(u'癆');
        QTest::newRow("full-width space") << 0xA1 << 0xA1 << 0x3000;
        QTest::newRow("trail CR") << 0xB0 << 0x0D << 0;
        QTest::newRow("FF FF") << 0xFF << 0xFF << 0;
        QTest::newRow("trail 7F") << 0xB0 << 0x7F << 0;
        QTest::newRow("euro byte is not a lead") << 0x80 << 0x41 << 0;
        QTest::newRow("euro byte before a lead") << 0x80 << 0xB0 << 0;
        QTest::newRow("FF before a lead") << 0xFF << 0xD6 << 0;
        QTest::newRow("FF before FE") << 0xFF << 0xFE << 0;
        QTest::newRow("ASCII lead") << 0x41 << 0x42 << 0;
    }
    void gbk_pair()
    {
        QFETCH(int, lead);
        QFETCH(int, trail);
        QFETCH(int, character);
        QCOMPARE(int(kestrune::gbk_pair(quint8(lead), quint8(trail))), character);
    }

    void edit_text_bytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << u"AB"_s << QByteArray("AB");
        QTest::newRow("line feed") << u"A\nB"_s << QByteArray("A\r\nB");
        QTest::newRow("paragraph separator") << u"A\u2029B"_s << QByteArray("A\r\nB");
        QTest::newRow("line separator") << u"A\u2028B"_s << QByteArray("A\r\nB");
        QTest::newRow("GBK") << u"发送"_s << QByteArray("\xB7\xA2\xCB\xCD");
        QTest::newRow("euro") << u"€"_s << QByteArray("\x80");
        QTest::newRow("unmappable") << u"a\U0001F600b"_s << QByteArray("a?b");
        QTest::newRow("empty") << QString() << QByteArray();
    }
    void edit_text_bytes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(kestrune::edit_text_bytes(text), bytes);
    }

    void gbk_round_trip()
    {
        const QString text = u"中文 text\r\n\t丂癆"_s;
        QCOMPARE(from_gbk(to_gbk(text)), text);
    }
};

QTEST_GUILESS_MAIN(TestText)
#include "test_text.moc"
