#include "send_rig.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

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
    void long_send_is_followed_by_one_send();
    void toggle_during_a_send_runs_between_sends();
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
    QVERIFY(rig.pty.is_valid());
    rig.controls.hex = false;
    rig.controls.text = "A"_ba;
    rig.controls.period = period;

    rig.command.toggle_auto_send();
    QVERIFY(rig.controls.send_disabled);
    QCOMPARE(rig.controls.auto_caption, u"关闭发送"_s);
    QCOMPARE(rig.controls.timer.period(), 0);

    QTest::qWait(1000);
    QCOMPARE(rig.line.tried, QByteArray());
    QCOMPARE(rig.pty.arrived(), QByteArray());
    QCOMPARE(rig.controls.sent_box_writes, 0);

    rig.command.toggle_auto_send();
    QVERIFY(!rig.controls.send_disabled);
    QCOMPARE(rig.controls.auto_caption, u"自动发送"_s);
    QCOMPARE(rig.controls.timer.period(), 0);
}

void TestAutoSend::sends_the_box_every_period()
{
    SendRig rig;
    QVERIFY(rig.pty.is_valid());
    rig.controls.hex = false;
    rig.controls.text = "AB"_ba;
    QElapsedTimer clock;
    qint64 first_send_at = -1;
    rig.line.before_send = [&](qsizetype index) {
        if (index == 0)
            first_send_at = clock.elapsed();
    };

    clock.start();
    rig.command.toggle_auto_send();
    QCOMPARE(rig.controls.timer.period(), 100);
    QVERIFY(rig.controls.send_disabled);
    QCOMPARE(rig.controls.auto_caption, u"关闭发送"_s);

    // The period box is read only when sending starts.
    rig.controls.period = u"5"_s;
    QTRY_VERIFY_WITH_TIMEOUT(rig.state.sent_count >= 6, 10000);
    QCOMPARE(rig.controls.timer.period(), 100);

    rig.command.toggle_auto_send();
    QCOMPARE(rig.controls.timer.period(), 0);
    QVERIFY(!rig.controls.send_disabled);
    QCOMPARE(rig.controls.auto_caption, u"自动发送"_s);

    // A lower bound only: the first send is one full period after the click.
    QVERIFY2(first_send_at >= 100 - 2, qPrintable(QString::number(first_send_at)));
    const qint64 sent = rig.state.sent_count;
    QCOMPARE(sent % 2, 0);
    QCOMPARE(rig.pty.arrived(sent), "AB"_ba.repeated(sent / 2));
    QCOMPARE(rig.controls.sent_box, signed_decimal(sent));

    QTest::qWait(300);
    QCOMPARE(rig.pty.arrived(), QByteArray());
    QCOMPARE(rig.state.sent_count, sent);
}

void TestAutoSend::edits_take_effect_at_the_next_tick()
{
    SendRig rig;
    QVERIFY(rig.pty.is_valid());
    rig.controls.hex = false;
    rig.controls.text = "A"_ba;
    rig.controls.period = u"30"_s;

    rig.command.toggle_auto_send();
    QTRY_VERIFY_WITH_TIMEOUT(rig.line.tried.contains('A'), 10000);
    rig.controls.text = "B"_ba;
    QTRY_VERIFY_WITH_TIMEOUT(rig.line.tried.contains('B'), 10000);
    rig.controls.hex = true;
    rig.controls.text = "43"_ba;
    QTRY_VERIFY_WITH_TIMEOUT(rig.line.tried.contains('C'), 10000);
    rig.command.toggle_auto_send();

    const QByteArray line = rig.pty.arrived(rig.line.tried.size());
    QVERIFY2(QRegularExpression(u"^A+B+C+$"_s).match(QString::fromLatin1(line)).hasMatch(), line.constData());
    QCOMPARE(rig.state.sent_count, line.size());
}

void TestAutoSend::long_send_is_followed_by_one_send()
{
    constexpr int period = 50;
    SendRig rig;
    QVERIFY(rig.pty.is_valid());
    rig.controls.hex = false;
    rig.controls.text = "A"_ba;  // one byte: one send call per send
    rig.controls.period = QString::number(period);
    QElapsedTimer clock;
    qint64 long_send_end = -1;
    rig.line.before_send = [&](qsizetype index) {
        if (index == 0) {
            QThread::msleep(20 * period);  // twenty ticks fall due meanwhile
            long_send_end = clock.elapsed();
        }
    };

    clock.start();
    rig.command.toggle_auto_send();
    QTRY_VERIFY_WITH_TIMEOUT(rig.line.tried.size() >= 4, 10000);
    const qint64 sends_after = rig.line.tried.size() - 1;
    const qint64 span = clock.elapsed() - long_send_end;
    rig.command.toggle_auto_send();

    // One waiting send, then one per period: a burst would exceed what the time allows.
    const qint64 allowed = 2 + span / period;
    QVERIFY2(sends_after <= allowed,
             qPrintable(u"%1 sends in %2 ms, at most %3 allowed"_s.arg(sends_after).arg(span).arg(allowed)));
    QCOMPARE(rig.line.max_depth, 1);
    QCOMPARE(rig.state.sent_count, rig.line.tried.size());
}

void TestAutoSend::toggle_during_a_send_runs_between_sends()
{
    SendRig rig;
    QVERIFY(rig.pty.is_valid());
    rig.controls.hex = false;
    rig.controls.text = "A"_ba;
    rig.controls.period = u"20"_s;
    qsizetype sends_at_toggle = -1;
    int depth_at_toggle = -1;
    rig.line.before_send = [&](qsizetype index) {
        if (index != 0)
            return;
        // The click on 自动按钮 arrives while the first send holds the thread.
        QMetaObject::invokeMethod(&rig.controls.timer, [&] {
            sends_at_toggle = rig.line.tried.size();
            depth_at_toggle = rig.line.depth;
            rig.command.toggle_auto_send();
        }, Qt::QueuedConnection);
        QThread::msleep(300);
    };

    rig.command.toggle_auto_send();
    QTRY_VERIFY_WITH_TIMEOUT(sends_at_toggle >= 0, 10000);
    QTest::qWait(300);

    QCOMPARE(depth_at_toggle, 0);
    // At most the one tick that waited during the long send ran before the toggle.
    QVERIFY2(sends_at_toggle == 1 || sends_at_toggle == 2, qPrintable(QString::number(sends_at_toggle)));
    QCOMPARE(rig.line.tried.size(), sends_at_toggle);
    QCOMPARE(rig.controls.auto_caption, u"自动发送"_s);
    QVERIFY(!rig.controls.send_disabled);
    QCOMPARE(rig.pty.arrived(sends_at_toggle), "A"_ba.repeated(sends_at_toggle));
}

} // namespace kestrune::test

QTEST_GUILESS_MAIN(kestrune::test::TestAutoSend)
#include "test_auto_send.moc"
