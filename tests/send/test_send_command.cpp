// SPDX-License-Identifier: MIT
// The send command over a real port on a pty: what reaches the far end, the
// count, and what happens when the far end reads slowly, stops or never reads.

#include "send_rig.h"
#include "text/gbk.h"

#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace kestrune::test {

namespace {

// A text no shorter than `size` whose every byte tells its place: a hole or a
// repeat shows in what the far end gets.
QByteArray numbered(qsizetype size)
{
    QByteArray bytes;
    bytes.reserve(size + 8);
    for (qsizetype n = 0; bytes.size() < size; ++n)
        bytes += QByteArray::number(n).rightJustified(7, '0') + '\n';
    bytes.truncate(size);
    return bytes;
}

} // namespace

class TestSendCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sends_the_box_data();
    void sends_the_box();
    void bytes_fixed_when_the_send_is_handed_over();
    void mode_read_at_each_send();
    void each_click_is_one_send_in_order();
    void count_grows_once_a_frame_while_a_send_goes_on();
    void a_slow_far_end_gets_a_long_send_whole();
    void a_pause_of_the_far_end_loses_nothing();
    void a_byte_not_taken_in_time_ends_its_send();
    void a_far_end_that_never_reads_holds_nothing_up();
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
    QTest::newRow("every byte value") << true << u"00 0D 0A 11 13 7F 80 FE FF"_s << qint64(0)
                                      << "\x00\x0D\x0A\x11\x13\x7F\x80\xFE\xFF"_ba << u"9"_s;
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
    QVERIFY(rig.ready());
    rig.controls.hex = hex;
    rig.controls.text = edit_text_bytes(box);
    rig.controls.sent_box = u"stale"_s;
    rig.state.sent_count = count_before;

    rig.command.send_once();
    if (line.isEmpty()) {
        // Nothing to send: the box is rewritten with the same count, once, at once.
        QCOMPARE(rig.controls.sent_box, count_box);
        QCOMPARE(rig.controls.sent_box_times.size(), 1);
    }
    QTRY_COMPARE(rig.controls.sent_box, count_box);
    QTRY_COMPARE(rig.far->received(), line);
    QTest::qWait(100);
    QCOMPARE(rig.far->received(), line);
    QCOMPARE(rig.state.sent_count, count_before + line.size());
    QCOMPARE(rig.controls.sent_box, count_box);
    QVERIFY(!rig.port().is_sending());
}

void TestSendCommand::bytes_fixed_when_the_send_is_handed_over()
{
    SendRig rig;
    QVERIFY(rig.ready());
    rig.controls.hex = true;
    rig.controls.text = "01 02 03"_ba;

    rig.command.send_once();
    rig.controls.hex = false; // before the first byte has left
    rig.controls.text = "XYZ"_ba;

    QTRY_COMPARE(rig.far->received(), "\x01\x02\x03"_ba);
    QTRY_COMPARE(rig.state.sent_count, 3);
}

void TestSendCommand::mode_read_at_each_send()
{
    SendRig rig;
    QVERIFY(rig.ready());
    rig.controls.text = edit_text_bytes(u"41 42");

    rig.controls.hex = true;
    rig.command.send_once();
    rig.controls.hex = false;
    rig.command.send_once();

    QTRY_COMPARE(rig.far->received(), "\x41\x42" "41 42"_ba);
    QTRY_COMPARE(rig.state.sent_count, 7);
    QTRY_COMPARE(rig.controls.sent_box, u"7"_s);
}

void TestSendCommand::each_click_is_one_send_in_order()
{
    // 960 bytes a second, as a 9600 baud line: the sends outlast the clicks.
    SendRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.fill_line(960));
    rig.controls.hex = false;
    QByteArray expected;
    for (const char letter : {'a', 'b', 'c'}) {
        rig.controls.text = QByteArray(200, letter);
        rig.command.send_once();
        expected += rig.controls.text;
    }
    // Handed over at once: the first is under way, the other two wait whole.
    QVERIFY(rig.port().is_sending());
    QCOMPARE(rig.port().sends_waiting(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.port().is_sending(), 10000);
    QTRY_COMPARE(rig.controls.sent_box, u"600"_s);

    rig.far->set_pace(0);
    QVERIFY(rig.wait_received(expected.size(), 10000));
    QTest::qWait(100);
    QCOMPARE(rig.received(), expected);
}

void TestSendCommand::count_grows_once_a_frame_while_a_send_goes_on()
{
    // A pty gives room in pieces of about 4 KB as its far end reads: at 64 KB a
    // second, a send of 64 KB lasts about a second in sixteen pieces.
    SendRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.fill_line(64 * 1024));
    rig.controls.hex = false;
    rig.controls.text = numbered(64 * 1024);

    // The thread stays free: a timer of its own fires while the bytes leave.
    int timer_ran_while_sending = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, &other, [&] {
        if (rig.port().is_sending())
            ++timer_ran_while_sending;
    });
    other.start(10);

    rig.command.send_once();
    QVERIFY(rig.port().is_sending());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.port().is_sending(), 10000);
    QTRY_COMPARE(rig.controls.sent_box, u"65536"_s);
    QVERIFY2(timer_ran_while_sending >= 10, qPrintable(QString::number(timer_ran_while_sending)));

    // Rewritten many times on the way, never twice within a frame.
    const QList<qint64> &times = rig.controls.sent_box_times;
    QVERIFY2(times.size() >= 5, qPrintable(QString::number(times.size())));
    for (qsizetype i = 1; i < times.size(); ++i)
        QVERIFY2(times[i] - times[i - 1] >= 14, qPrintable(u"%1 ms apart"_s.arg(times[i] - times[i - 1])));
    QCOMPARE(rig.state.sent_count, 64 * 1024);

    rig.far->set_pace(0);
    QVERIFY(rig.wait_received(64 * 1024, 10000));
    QCOMPARE(rig.received(), rig.controls.text);
}

void TestSendCommand::a_slow_far_end_gets_a_long_send_whole()
{
    // 960 bytes a second, as a 9600 baud line, for a send of two and a half seconds.
    // The line takes every byte well within the time-out, although a pty signals
    // room only every couple of seconds at this pace.
    SendRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.fill_line(960));
    rig.controls.hex = false;
    rig.controls.text = numbered(2400);

    rig.command.send_once();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.port().is_sending(), 10000);
    QTRY_COMPARE(rig.state.sent_count, 2400);
    rig.far->set_pace(0);
    QVERIFY(rig.wait_received(2400, 10000));
    QTest::qWait(100);
    QCOMPARE(rig.received(), rig.controls.text);
}

void TestSendCommand::a_pause_of_the_far_end_loses_nothing()
{
    SendRig rig;
    QVERIFY(rig.ready());
    rig.far->stop_reading();
    rig.controls.hex = false;
    rig.controls.text = numbered(300 * 1024); // far more than the pty holds

    rig.command.send_once();
    // The pty fills up and the send waits for room, without holding the thread.
    QTRY_VERIFY(rig.state.sent_count > 0);
    QTest::qWait(300);
    QVERIFY(rig.port().is_sending());
    const qint64 while_stopped = rig.state.sent_count;
    QVERIFY2(while_stopped < rig.controls.text.size(), qPrintable(QString::number(while_stopped)));
    QTest::qWait(300); // 600 ms in all: less than the write time-out
    rig.far->start_reading();

    QTRY_COMPARE_WITH_TIMEOUT(rig.far->received_size(), rig.controls.text.size(), 20000);
    QVERIFY(rig.far->received() == rig.controls.text);
    QTRY_COMPARE(rig.state.sent_count, rig.controls.text.size());
    QCOMPARE(rig.controls.sent_box, QString::number(rig.controls.text.size()));
}

void TestSendCommand::a_byte_not_taken_in_time_ends_its_send()
{
    SendRig rig;
    QVERIFY(rig.ready());
    rig.far->stop_reading();
    rig.controls.hex = false;
    const QByteArray first = numbered(300 * 1024);
    rig.controls.text = first;
    rig.command.send_once();
    rig.controls.text = "next send"_ba;
    rig.command.send_once();

    // Stopped for longer than the 1000 ms write time-out: the rest of the first
    // send is dropped whole; the next send then goes as the far end reads again.
    QTRY_VERIFY(rig.state.sent_count > 0);
    QTRY_COMPARE_WITH_TIMEOUT(rig.port().sends_waiting(), 0, 5000);
    QTest::qWait(200);
    rig.far->start_reading();

    QTRY_COMPARE_WITH_TIMEOUT(rig.port().is_sending(), false, 10000);
    QTest::qWait(300);
    const QByteArray got = rig.far->received();
    QVERIFY(got.endsWith("next send"));
    // A prefix of the first send with no hole, then the second whole.
    const QByteArray head = got.chopped(9);
    QVERIFY2(head.size() < first.size(), qPrintable(QString::number(head.size())));
    QVERIFY2(first.startsWith(head), "what the far end got of the first send has a hole");
    // The count is what the line took, so it shows where the first send stopped.
    QTRY_COMPARE(rig.state.sent_count, got.size());
    QCOMPARE(rig.controls.sent_box, QString::number(got.size()));
}

void TestSendCommand::a_far_end_that_never_reads_holds_nothing_up()
{
    SendRig rig;
    QVERIFY(rig.ready());
    rig.far->stop_reading();
    rig.controls.hex = false;
    rig.controls.text = numbered(300 * 1024);
    rig.command.send_once();
    rig.command.send_once();
    rig.command.send_once();

    // Each send in turn waits out its time-out; meanwhile the thread is free.
    QTRY_COMPARE_WITH_TIMEOUT(rig.port().is_sending(), false, 10000);
    QTest::qWait(100);
    const qint64 taken = rig.state.sent_count;
    QVERIFY(taken > 0);
    QVERIFY(taken < rig.controls.text.size());
    QCOMPARE(rig.controls.sent_box, QString::number(taken));

    // The count is what the pty took: the far end finds exactly that much.
    rig.far->start_reading();
    QTRY_COMPARE(rig.far->received_size(), taken);
    QTest::qWait(200);
    QCOMPARE(rig.far->received_size(), taken);
    // The first part of one send after another (room may free up in pieces while a
    // later send waits), each from its start: no hole anywhere.
    const int parts = first_parts(rig.far->received(), rig.controls.text);
    QVERIFY2(parts >= 1 && parts <= 3, qPrintable(QString::number(parts)));
}

} // namespace kestrune::test

QTEST_GUILESS_MAIN(kestrune::test::TestSendCommand)
#include "test_send_command.moc"
