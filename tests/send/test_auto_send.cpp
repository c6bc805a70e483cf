// SPDX-License-Identifier: MIT
// Automatic sending over a real port on a pty: the period, edits between ticks,
// and sends that outlast the period.

#include "send_rig.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace kestrune::test {

class TestAutoSend : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void period_not_positive_never_sends_data();
    void period_not_positive_never_sends();
    void sends_the_box_every_period();
    void edits_take_effect_at_the_next_tick();
    void long_sends_never_pile_up();
    void toggle_during_a_send_runs_at_once();
};

void TestAutoSend::period_not_positive_never_sends_data()
{
    QTest::addColumn<QString>("period");

    QTest::newRow("empty") << QString();
    QTest::newRow("zero") << u"0"_s;
    QTest::newRow("negative") << u"-5"_s;
}

void TestAutoSend::period_not_positive_never_sends()
{
    QFETCH(QString, period);

    SendRig rig;
    QVERIFY(rig.ready());
    rig.controls.hex = false;
    rig.controls.text = "A"_ba;
    rig.controls.period = period;

    rig.command.toggle_auto_send();
    QVERIFY(rig.controls.send_disabled);
    QCOMPARE(rig.controls.auto_caption, u"关闭发送"_s);
    QCOMPARE(rig.controls.timer.period(), 0);

    QTest::qWait(1000);
    QCOMPARE(rig.far->received(), QByteArray());
    QVERIFY(rig.controls.sent_box_times.isEmpty());

    rig.command.toggle_auto_send();
    QVERIFY(!rig.controls.send_disabled);
    QCOMPARE(rig.controls.auto_caption, u"自动发送"_s);
    QCOMPARE(rig.controls.timer.period(), 0);
}

void TestAutoSend::sends_the_box_every_period()
{
    SendRig rig;
    QVERIFY(rig.ready());
    rig.controls.hex = false;
    rig.controls.text = "AB"_ba;
    QElapsedTimer clock;

    clock.start();
    rig.command.toggle_auto_send();
    QCOMPARE(rig.controls.timer.period(), 100);
    QVERIFY(rig.controls.send_disabled);
    QCOMPARE(rig.controls.auto_caption, u"关闭发送"_s);

    // The period box is read only when sending starts.
    rig.controls.period = u"5"_s;
    QTRY_VERIFY(rig.far->received_size() > 0);
    const qint64 first_send_at = clock.elapsed();
    QTRY_VERIFY_WITH_TIMEOUT(rig.state.sent_count >= 6, 10000);
    QCOMPARE(rig.controls.timer.period(), 100);

    rig.command.toggle_auto_send();
    QCOMPARE(rig.controls.timer.period(), 0);
    QVERIFY(!rig.controls.send_disabled);
    QCOMPARE(rig.controls.auto_caption, u"自动发送"_s);

    // A lower bound only: the first send is one full period after the click.
    QVERIFY2(first_send_at >= 100 - 2, qPrintable(QString::number(first_send_at)));
    QTest::qWait(100);
    const qint64 sent = rig.state.sent_count;
    QCOMPARE(sent % 2, 0);
    QCOMPARE(rig.far->received(), "AB"_ba.repeated(sent / 2));
    QCOMPARE(rig.controls.sent_box, signed_decimal(sent));

    QTest::qWait(300);
    QCOMPARE(rig.far->received_size(), sent);
    QCOMPARE(rig.state.sent_count, sent);
}

void TestAutoSend::edits_take_effect_at_the_next_tick()
{
    SendRig rig;
    QVERIFY(rig.ready());
    rig.controls.hex = false;
    rig.controls.text = "A"_ba;
    rig.controls.period = u"30"_s;

    rig.command.toggle_auto_send();
    QTRY_VERIFY_WITH_TIMEOUT(rig.far->received().contains('A'), 10000);
    rig.controls.text = "B"_ba;
    QTRY_VERIFY_WITH_TIMEOUT(rig.far->received().contains('B'), 10000);
    rig.controls.hex = true;
    rig.controls.text = "43"_ba;
    QTRY_VERIFY_WITH_TIMEOUT(rig.far->received().contains('C'), 10000);
    rig.command.toggle_auto_send();

    QTest::qWait(100);
    const QByteArray line = rig.far->received();
    QVERIFY2(QRegularExpression(u"^A+B+C+$"_s).match(QString::fromLatin1(line)).hasMatch(), line.constData());
    QCOMPARE(rig.state.sent_count, line.size());
}

void TestAutoSend::long_sends_never_pile_up()
{
    // With the line full, a send of 240 bytes to a far end reading 960 a second
    // lasts 250 ms; the period is 20 ms, so twelve ticks fall due during each send.
    constexpr qsizetype send_size = 240;
    SendRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.fill_line(960));
    rig.controls.hex = false;
    rig.controls.text = QByteArray(send_size - 1, '.') + '|';
    rig.controls.period = u"20"_s;
    int most_waiting = 0;
    QObject::connect(&rig.controls.timer, &PeriodTimer::tick, &rig.controls.timer,
                     [&] { most_waiting = std::max(most_waiting, rig.port().sends_waiting()); });

    rig.command.toggle_auto_send();
    QTest::qWait(1500);
    rig.command.toggle_auto_send();
    QCOMPARE(most_waiting, 1); // one send waiting behind the one under way, never more

    // Held still for a moment, the count catches up with what was written.
    rig.far->stop_reading();
    QTest::qWait(100);
    const qint64 written_at_stop = rig.state.sent_count;
    const int left = (rig.port().is_sending() ? 1 : 0) + rig.port().sends_waiting();
    QVERIFY(left <= 2);
    rig.far->start_reading();

    // What was under way and the one waiting send go out, then nothing more.
    QTRY_VERIFY_WITH_TIMEOUT(!rig.port().is_sending(), 10000);
    QTest::qWait(100);
    const qint64 sent = rig.state.sent_count;
    QCOMPARE(sent % send_size, 0);
    QVERIFY2(sent <= written_at_stop + left * send_size,
             qPrintable(u"%1 bytes in all, %2 at the stop, %3 sends left"_s.arg(sent).arg(written_at_stop).arg(left)));

    rig.far->set_pace(0);
    QVERIFY(rig.wait_received(sent, 10000));
    QTest::qWait(100);
    QCOMPARE(rig.received(), rig.controls.text.repeated(sent / send_size)); // whole sends, in order
}

void TestAutoSend::toggle_during_a_send_runs_at_once()
{
    SendRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.fill_line(960));
    rig.controls.hex = false;
    rig.controls.text = QByteArray(480, 'x'); // half a second of sending
    rig.controls.period = u"20"_s;

    rig.command.toggle_auto_send();
    QTRY_VERIFY(rig.port().is_sending());
    QTest::qWait(100);
    // The click on 自动按钮 comes while the send goes on, and is handled then.
    QVERIFY(rig.port().is_sending());
    rig.command.toggle_auto_send();
    QCOMPARE(rig.controls.auto_caption, u"自动发送"_s);
    QVERIFY(!rig.controls.send_disabled);
    QCOMPARE(rig.controls.timer.period(), 0);
    QVERIFY(rig.port().is_sending());
    QVERIFY(rig.port().sends_waiting() <= 1);

    // The sends already handed over finish whole; no tick comes after the click.
    QTRY_VERIFY_WITH_TIMEOUT(!rig.port().is_sending(), 10000);
    QTest::qWait(100);
    const qint64 sent = rig.state.sent_count;
    QCOMPARE(sent % rig.controls.text.size(), 0);
    QTest::qWait(300);
    QVERIFY(!rig.port().is_sending());
    QCOMPARE(rig.state.sent_count, sent);
    const QByteArray expected = rig.controls.text.repeated(sent / rig.controls.text.size());
    rig.far->set_pace(0);
    QVERIFY(rig.wait_received(expected.size(), 10000));
    QTest::qWait(100);
    QCOMPARE(rig.received(), expected);
}

} // namespace kestrune::test

QTEST_GUILESS_MAIN(kestrune::test::TestAutoSend)
#include "test_auto_send.moc"
