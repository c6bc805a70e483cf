#include "send_rig.h"
#include "text/gbk.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace kestrune::test {

class TestSendCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sends_the_box_data();
    void sends_the_box();
    void failed_writes_data();
    void failed_writes();
    void bytes_fixed_before_the_first_leaves();
    void mode_read_at_each_send();
};

void TestSendCommand::sends_the_box_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("box");
    QTest::addColumn<qint64>("count_before");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("count_box");

    QTest::newRow("text AB") << false << u"AB"_s << qint64(0) << "\x41\x42"_ba << u"2"_s;
    QTest::newRow("text with a line break") << false << u"A\nB"_s << qint64(0) << "\x41\x0D\x0A\x42"_ba << u"4"_s;
    QTest::newRow("text 发送") << false << u"发送"_s << qint64(0) << "\xB7\xA2\xCB\xCD"_ba << u"4"_s;
    QTest::newRow("text adds to the count") << false << u"AB"_s << qint64(40) << "\x41\x42"_ba << u"42"_s;
    QTest::newRow("text hex-looking is not converted") << false << u"41"_s << qint64(0) << "\x34\x31"_ba << u"2"_s;
    QTest::newRow("hex 41 42") << true << u"41 42"_s << qint64(0) << "\x41\x42"_ba << u"2"_s;
    QTest::newRow("hex over lines") << true << u"0d\n0A"_s << qint64(0) << "\x0D\x0A"_ba << u"2"_s;
    QTest::newRow("text empty box") << false << QString() << qint64(7) << QByteArray() << u"7"_s;
    QTest::newRow("hex empty box") << true << QString() << qint64(7) << QByteArray() << u"7"_s;
    QTest::newRow("hex without digits") << true << u"xyz 中"_s << qint64(7) << QByteArray() << u"7"_s;
    QTest::newRow("count past 32 bits") << false << u"A"_s << qint64(2147483647) << "\x41"_ba << u"2147483648"_s;
}

void TestSendCommand::sends_the_box()
{
    QFETCH(bool, hex);
    QFETCH(QString, box);
    QFETCH(qint64, count_before);
    QFETCH(QByteArray, line);
    QFETCH(QString, count_box);

    SendRig rig;
    QVERIFY(rig.pty.is_valid());
    rig.controls.hex = hex;
    rig.controls.text = edit_text_bytes(box);
    rig.controls.sent_box = u"stale"_s;
    rig.state.sent_count = count_before;

    rig.command.send_once();

    QCOMPARE(rig.line.tried, line);
    QCOMPARE(rig.pty.arrived(line.size()), line);
    QCOMPARE(rig.state.sent_count, count_before + line.size());
    // The count box is rewritten once per command, also when nothing was sent.
    QCOMPARE(rig.controls.sent_box, count_box);
    QCOMPARE(rig.controls.sent_box_writes, 1);
}

void TestSendCommand::failed_writes_data()
{
    QTest::addColumn<QList<qsizetype>>("fail_at");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("first byte") << QList<qsizetype>{0} << "BCDE"_ba;
    QTest::newRow("middle byte") << QList<qsizetype>{2} << "ABDE"_ba;
    QTest::newRow("last byte") << QList<qsizetype>{4} << "ABCD"_ba;
    QTest::newRow("every byte") << QList<qsizetype>{0, 1, 2, 3, 4} << QByteArray();
}

void TestSendCommand::failed_writes()
{
    QFETCH(QList<qsizetype>, fail_at);
    QFETCH(QByteArray, line);

    SendRig rig;
    QVERIFY(rig.pty.is_valid());
    rig.controls.hex = false;
    rig.controls.text = "ABCDE"_ba;
    rig.state.sent_count = 10;
    rig.line.fail_at = fail_at;

    rig.command.send_once();

    // Every byte is still tried, in order; only those written are counted.
    QCOMPARE(rig.line.tried, "ABCDE"_ba);
    QCOMPARE(rig.pty.arrived(line.size()), line);
    QCOMPARE(rig.state.sent_count, 10 + line.size());
    QCOMPARE(rig.controls.sent_box, signed_decimal(10 + line.size()));
}

void TestSendCommand::bytes_fixed_before_the_first_leaves()
{
    SendRig rig;
    QVERIFY(rig.pty.is_valid());
    rig.controls.hex = true;
    rig.controls.text = "01 02 03"_ba;
    rig.line.before_send = [&rig](qsizetype index) {
        if (index == 0) {
            rig.controls.hex = false;
            rig.controls.text = "XYZ"_ba;
        }
    };

    rig.command.send_once();

    QCOMPARE(rig.pty.arrived(3), "\x01\x02\x03"_ba);
    QCOMPARE(rig.state.sent_count, 3);
}

void TestSendCommand::mode_read_at_each_send()
{
    SendRig rig;
    QVERIFY(rig.pty.is_valid());
    rig.controls.text = edit_text_bytes(u"41 42");

    rig.controls.hex = true;
    rig.command.send_once();
    QCOMPARE(rig.pty.arrived(2), "\x41\x42"_ba);

    rig.controls.hex = false;
    rig.command.send_once();
    QCOMPARE(rig.pty.arrived(5), "41 42"_ba);

    QCOMPARE(rig.state.sent_count, 7);
    QCOMPARE(rig.controls.sent_box, u"7"_s);
    QCOMPARE(rig.controls.sent_box_writes, 2);
}

} // namespace kestrune::test

QTEST_GUILESS_MAIN(kestrune::test::TestSendCommand)
#include "test_send_command.moc"
