// SPDX-License-Identifier: MIT
// The count box shows every count at once and whole, and is never left unpainted.

#include "app/count_box.h"

#include <QApplication>
#include <QHelpEvent>
#include <QPaintEvent>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kestrune;

namespace {

struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

class TestCountBox : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void a_burst_of_counts_paints_once_a_frame_and_ends_painted()
    {
        QWidget window;
        auto *box = new CountBox(&window);
        box->setGeometry(0, 0, 64, 24);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PaintCounter counter;
        box->installEventFilter(&counter);

        for (qint64 count = 2147483640; count < 2147483650; ++count) {
            box->show_count(count);
            QCOMPARE(box->text(), QString::number(count)); // the text never lags
            QCoreApplication::processEvents();
        }
        QCOMPARE(box->text(), u"2147483649"_s);
        QTRY_VERIFY(box->updatesEnabled());
        const int during_burst = counter.paints;
        QTRY_VERIFY(counter.paints > 0);
        QVERIFY2(during_burst <= 3, qPrintable(QString::number(during_burst)));

        box->show_count(-1); // the next count after a quiet frame paints at once
        QVERIFY(box->updatesEnabled());
        QTRY_VERIFY(counter.paints > during_burst);
    }

    // A count box is 64 px wide: from 8 digits on, the count only fits in a smaller
    // font. Every digit must be in view, the text stays the plain decimal, and the
    // tooltip groups the digits.
    void every_digit_of_a_long_count_shows_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("grouped");
        QTest::newRow("8 digits") << qint64(12345678) << u"12,345,678"_s;
        QTest::newRow("9 digits") << qint64(123456789) << u"123,456,789"_s;
        QTest::newRow("10 digits") << qint64(2147483647) << u"2,147,483,647"_s;
        QTest::newRow("10 digits and a sign") << qint64(-2147483648) << u"-2,147,483,648"_s;
        QTest::newRow("11 digits") << qint64(99999999999) << u"99,999,999,999"_s;
        QTest::newRow("11 eights, wide digits") << qint64(88888888888) << u"88,888,888,888"_s;
    }
    void every_digit_of_a_long_count_shows()
    {
        QFETCH(qint64, count);
        QFETCH(QString, grouped);
        QWidget window;
        auto *box = new CountBox(&window);
        box->setGeometry(0, 0, 64, 24);
        box->setReadOnly(true);
        box->setEnabled(false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        box->show_count(count);
        QCOMPARE(box->text(), QString::number(count));
        QVERIFY2(box->font().pointSizeF() >= CountBox::min_point_size, qPrintable(box->font().toString()));
        // Painting places the text; the character at the left edge is then the
        // first one unless the text was scrolled to keep its end in view.
        box->repaint();
        QCOMPARE(box->cursorPositionAt(QPoint(4, box->height() / 2)), 0);

        QHelpEvent ask(QEvent::ToolTip, QPoint(8, 8), box->mapToGlobal(QPoint(8, 8)));
        QApplication::sendEvent(box, &ask);
        QCOMPARE(box->toolTip(), grouped);

        // A short count again: the window's own font.
        box->show_count(0);
        box->repaint();
        QCOMPARE(box->text(), u"0"_s);
        QVERIFY(!box->testAttribute(Qt::WA_SetFont));
        QCOMPARE(box->font(), window.font());
    }
};

QTEST_MAIN(TestCountBox)
#include "test_count_box.moc"
