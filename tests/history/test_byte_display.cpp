// SPDX-License-Identifier: MIT
#include "history/byte_display.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace kestrune;

namespace {

// Runs a script of chunks and switches: "hex" / "text" pick the mode, "renew"
// makes the lead-byte store afresh (as a click on 串口按钮 does, flag untouched),
// anything else is one chunk of bytes written in hex digits.
struct Run {
    QString shown;
    int pending = 0;
    LeadByteStore store = std::array<quint8, 2>{0, 0};
    QList<bool> touched;
};

Run run_script(const QString &script)
{
    Run run;
    bool hex = false;
    for (const QString &step : script.split(u' ', Qt::SkipEmptyParts)) {
        if (step == u"hex"_s) {
            hex = true;
        } else if (step == u"text"_s) {
            hex = false;
        } else if (step == u"renew"_s) {
            run.store = std::array<quint8, 2>{0, 0};
        } else {
            const QByteArray bytes = QByteArray::fromHex(step.toLatin1());
            if (hex) {
                append_hex_display(bytes, run.shown);
                run.touched.append(true);
            } else {
                run.touched.append(append_text_display(bytes, run.pending, run.store, run.shown));
            }
        }
    }
    return run;
}

} // namespace

class TestByteDisplay : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void display_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("pending");

        QTest::newRow("hex digits and a space per byte") << u"hex 000AABFF"_s << u"00 0A AB FF "_s << 0;
        QTest::newRow("hex in separate chunks, no line break") << u"hex 0D 0A 00"_s << u"0D 0A 00 "_s << 0;
        QTest::newRow("letter") << u"41"_s << u"A"_s << 0;
        QTest::newRow("zero shows nothing") << u"00"_s << QString() << 0;
        QTest::newRow("controls as they are") << u"090D0A1B7F"_s << u"\t\r\n\x1b\x7f"_s << 0;
        QTest::newRow("lead alone is held") << u"D6"_s << QString() << 1;
        QTest::newRow("pair") << u"D6D0"_s << u"中"_s << 0;
        QTest::newRow("pair across chunks") << u"D6 D0"_s << u"中"_s << 0;
        QTest::newRow("pair with trail below 0x80") << u"8140"_s << u"丂"_s << 0;
        QTest::newRow("pair B0 41") << u"B041"_s << u"癆"_s << 0;
        QTest::newRow("no pair: lead shows U+FFFD, CR LF kept") << u"B00D0A"_s << u"\uFFFD\r\n"_s << 0;
        QTest::newRow("no pair: zero after a lead") << u"B000 41"_s << u"\uFFFDA"_s << 0;
        QTest::newRow("no pair: the next byte becomes the lead") << u"FFFF41"_s << u"\uFFFD\uFFFDA"_s << 0;
        QTest::newRow("line noise FF before a character") << u"FFD6D041"_s << u"\uFFFD中A"_s << 0;
        QTest::newRow("line noise 80 before a character") << u"80D6D00D0A"_s << u"\uFFFD中\r\n"_s << 0;
        QTest::newRow("no pair across chunks, lead held at the end") << u"FF FF"_s << u"\uFFFD"_s << 1;
        QTest::newRow("lead held at the end of a chunk") << u"41B0"_s << u"A"_s << 1;
        QTest::newRow("lead held across HEX mode") << u"B0 hex 41 text A1"_s << u"41 啊"_s << 0;
        QTest::newRow("store renewed while a lead is held") << u"B0 renew 41"_s << u"A"_s << 0;
        QTest::newRow("renewed store, then a new lead") << u"B0 renew D6D0"_s << u"中"_s << 0;
    }
    void display()
    {
        QFETCH(QString, script);
        QFETCH(QString, shown);
        QFETCH(int, pending);
        const Run run = run_script(script);
        QCOMPARE(run.shown, shown);
        QCOMPARE(run.pending, pending);
    }

    // The pair's bytes go to the store as the program state describes.
    void store_elements()
    {
        const Run run = run_script(u"D6D0"_s);
        QVERIFY(run.store.has_value());
        QCOMPARE((*run.store)[0], quint8(0xD6));
        QCOMPARE((*run.store)[1], quint8(0xD0));
    }

    // Whether a per-byte handler would have called the append at all.
    void touched_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<bool>>("touched");
        QTest::newRow("lead alone") << u"D6"_s << QList<bool>{false};
        QTest::newRow("two leads alone") << u"D6 B0"_s << QList<bool>{false, true};
        QTest::newRow("trail") << u"D6 D0"_s << QList<bool>{false, true};
        QTest::newRow("zero") << u"00"_s << QList<bool>{true};
        QTest::newRow("letter then lead") << u"41D6"_s << QList<bool>{true};
        QTest::newRow("hex") << u"hex D6"_s << QList<bool>{true};
    }
    void touched()
    {
        QFETCH(QString, script);
        QFETCH(QList<bool>, touched);
        QCOMPARE(run_script(script).touched, touched);
    }

    // Reusing one buffer appends after what it holds and keeps the text exact.
    void appends_to_the_buffer()
    {
        QString out = u"x"_s;
        int pending = 0;
        LeadByteStore store;
        QVERIFY(append_text_display(QByteArray::fromHex("41D6"), pending, store, out));
        QCOMPARE(out, u"xA"_s);
        QVERIFY(store.has_value());
        append_hex_display(QByteArray::fromHex("FF"), out);
        QCOMPARE(out, u"xAFF "_s);
        append_text_display(QByteArray::fromHex("D0"), pending, store, out);
        QCOMPARE(out, u"xAFF 中"_s);
    }
};

QTEST_APPLESS_MAIN(TestByteDisplay)
#include "test_byte_display.moc"
