// The count box shows every count at once and is never left unpainted.

#include "app/count_box.h"

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
};

QTEST_MAIN(TestCountBox)
#include "test_count_box.moc"
