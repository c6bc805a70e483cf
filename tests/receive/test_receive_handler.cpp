// SPDX-License-Identifier: MIT
#include "receive/receive_box.h"
#include "receive/receive_controls.h"
#include "receive/receive_handler.h"
#include "text/decimal.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace kestrune;

namespace {

struct FakeControls : ReceiveControls {
    bool hex = true;
    QStringList shown_counts;
    bool receive_hex_checked() const override { return hex; }
    void show_received_count(qint64 count) override { shown_counts.append(signed_decimal(count)); }
};

// The handler over a real receive box, with the program state it is given.
struct Fixture {
    FakeControls controls;
    ReceiveBox box;
    ProgramState state{.lead_byte_store = std::array<quint8, 2>{0, 0}};
    ReceiveHandler handler{controls, box, state};

    void feed(const char *hex) { handler.on_byte_received(QByteArray::fromHex(hex)); }
};

} // namespace

class TestReceiveHandler : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hex_chunk()
    {
        Fixture f;
        f.feed("000AABFF");
        QCOMPARE(f.box.text(), u"00 0A AB FF "_s);
        QCOMPARE(f.state.received_count, 4);
        QCOMPARE(f.controls.shown_counts, QStringList{u"4"_s});
    }

    void zero_is_counted_not_shown()
    {
        Fixture f;
        f.controls.hex = false;
        f.feed("00");
        f.feed("0041");
        QCOMPARE(f.box.text(), u"A"_s);
        QCOMPARE(f.controls.shown_counts, (QStringList{u"1"_s, u"3"_s}));
    }

    void lead_counted_before_shown()
    {
        Fixture f;
        f.controls.hex = false;
        f.feed("D6");
        QCOMPARE(f.box.text(), QString());
        QCOMPARE(f.controls.shown_counts, QStringList{u"1"_s});
        QCOMPARE(f.state.lead_byte_pending, 1);
        f.feed("D0");
        QCOMPARE(f.box.text(), u"中"_s);
        QCOMPARE(f.controls.shown_counts.last(), u"2"_s);
    }

    // A byte that only becomes the held lead does not touch the box, so the
    // user's caret stays; the byte completing it appends and takes the caret.
    void lead_alone_leaves_the_caret()
    {
        Fixture f;
        f.controls.hex = false;
        f.feed("616263");
        f.box.set_selection(1, 2);
        f.feed("D6");
        QCOMPARE(f.box.anchor_position(), 1);
        QCOMPARE(f.box.caret_position(), 2);
        f.feed("D0");
        QCOMPARE(f.box.text(), u"abc中"_s);
        QCOMPARE(f.box.caret_position(), 4);
        QCOMPARE(f.box.anchor_position(), 4);
        f.box.set_selection(0, 0);
        f.feed("00"); // shows nothing, but is an append: the caret goes to the end
        QCOMPARE(f.box.caret_position(), 4);
    }

    void click_drops_held_lead_data()
    {
        QTest::addColumn<bool>("hex_between");
        QTest::newRow("text mode") << false;
        QTest::newRow("after HEX mode") << true;
    }
    void click_drops_held_lead()
    {
        QFETCH(bool, hex_between);
        Fixture f;
        f.controls.hex = false;
        f.feed("B0");
        if (hex_between) {
            f.controls.hex = true;
            f.feed("30");
            QCOMPARE(f.state.lead_byte_pending, 1);
        }
        f.controls.hex = false;
        f.handler.on_receive_text_clicked();
        f.feed("41");
        QCOMPARE(f.box.text(), hex_between ? u"30 A"_s : u"A"_s);
        QCOMPARE(f.state.lead_byte_pending, 0);
    }

    void count_past_32_bits_data()
    {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<QString>("shown");
        QTest::newRow("to 2^31") << qint64(2147483647) - 3 << u"2147483648"_s;
        QTest::newRow("well past 2^31") << qint64(4294967295) << u"4294967299"_s;
    }
    void count_past_32_bits()
    {
        QFETCH(qint64, start);
        QFETCH(QString, shown);
        Fixture f;
        f.state.received_count = start;
        f.feed("01020304");
        QCOMPARE(f.state.received_count, start + 4);
        QCOMPARE(f.controls.shown_counts.last(), shown);
    }
};

QTEST_MAIN(TestReceiveHandler)
#include "test_receive_handler.moc"
