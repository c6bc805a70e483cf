// SPDX-License-Identifier: MIT
#include "send/period_timer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

namespace kestrune {

class TestPeriodTimer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stored_period_data();
    void stored_period();
    void first_tick_one_period_after_the_write();
    void same_value_keeps_the_countdown();
    void other_value_restarts_the_countdown();
    void overdue_ticks_do_not_pile_up();
};

void TestPeriodTimer::stored_period_data()
{
    QTest::addColumn<QList<int>>("writes");
    QTest::addColumn<int>("period");

    QTest::newRow("never written") << QList<int>{} << 0;
    QTest::newRow("negative") << QList<int>{-5} << 0;
    QTest::newRow("zero") << QList<int>{0} << 0;
    QTest::newRow("positive then negative") << QList<int>{100, -5} << 0;
    QTest::newRow("positive then zero") << QList<int>{100, 0} << 0;
    QTest::newRow("positive then another") << QList<int>{100, 250} << 250;
    QTest::newRow("positive twice") << QList<int>{100, 100} << 100;
}

void TestPeriodTimer::stored_period()
{
    QFETCH(QList<int>, writes);
    QFETCH(int, period);

    PeriodTimer timer;
    QSignalSpy ticks(&timer, &PeriodTimer::tick);
    for (int ms : writes)
        timer.set_period(ms);

    QCOMPARE(timer.period(), period);
    if (period == 0) {
        QTest::qWait(500);
        QCOMPARE(ticks.count(), 0);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 2, 10000);
    }
}

void TestPeriodTimer::first_tick_one_period_after_the_write()
{
    constexpr int period = 300;
    PeriodTimer timer;
    QElapsedTimer clock;
    QList<qint64> tick_times;
    connect(&timer, &PeriodTimer::tick, this, [&] { tick_times.append(clock.elapsed()); });

    clock.start();
    timer.set_period(period);

    QTRY_VERIFY_WITH_TIMEOUT(tick_times.size() >= 3, 10000);
    // A lower bound only: a slow machine makes the ticks later, never earlier.
    QVERIFY2(tick_times.first() >= period - 2, qPrintable(QString::number(tick_times.first())));
    QVERIFY(tick_times.at(1) >= tick_times.first());
}

void TestPeriodTimer::same_value_keeps_the_countdown()
{
    PeriodTimer timer;
    QSignalSpy ticks(&timer, &PeriodTimer::tick);
    timer.set_period(1000);
    QThread::msleep(1100);  // the first tick is now overdue

    timer.set_period(1000);

    // Not restarted: the overdue tick comes at once, not a second from now.
    QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 1, 500);
    QCOMPARE(timer.period(), 1000);
}

void TestPeriodTimer::other_value_restarts_the_countdown()
{
    PeriodTimer timer;
    QSignalSpy ticks(&timer, &PeriodTimer::tick);
    timer.set_period(1000);
    QThread::msleep(1100);  // the first tick is now overdue

    QElapsedTimer clock;
    clock.start();
    timer.set_period(3000);

    // The overdue tick of the old countdown is gone; the new one runs a full period.
    QTest::qWait(200);
    QCOMPARE(ticks.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 1, 10000);
    QVERIFY(clock.elapsed() >= 3000 - 2);
    QCOMPARE(timer.period(), 3000);
}

void TestPeriodTimer::overdue_ticks_do_not_pile_up()
{
    constexpr int period = 50;
    PeriodTimer timer;
    QSignalSpy ticks(&timer, &PeriodTimer::tick);
    timer.set_period(period);
    QThread::msleep(20 * period);  // twenty ticks fall due while the thread is held

    QElapsedTimer since_free;
    since_free.start();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 3, 10000);

    // One waiting tick, then one per period: never more than the time allows.
    const qint64 allowed = 2 + since_free.elapsed() / period;
    QVERIFY2(ticks.count() <= allowed,
             qPrintable(u"%1 ticks, at most %2 allowed"_s.arg(ticks.count()).arg(allowed)));
}

} // namespace kestrune

QTEST_GUILESS_MAIN(kestrune::TestPeriodTimer)
#include "test_period_timer.moc"
