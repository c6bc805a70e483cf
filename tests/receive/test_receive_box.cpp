// SPDX-License-Identifier: MIT
#include "box_window.h"

#include <QScrollBar>

using namespace Qt::StringLiterals;

using namespace kestrune;
using namespace kestrune::test;

class TestReceiveBox : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // CR LF, a lone CR and a lone LF each end a line on screen, and stay in the text.
    void line_breaks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("lines");
        QTest::addColumn<QList<bool>>("ink");
        QTest::newRow("CR LF") << u"A\r\nB"_s << qint64(2) << QList<bool>{true, true, false};
        QTest::newRow("lone CR") << u"A\rB"_s << qint64(2) << QList<bool>{true, true, false};
        QTest::newRow("lone LF") << u"A\nB"_s << qint64(2) << QList<bool>{true, true, false};
        QTest::newRow("empty line between") << u"A\r\n\r\nB"_s << qint64(3) << QList<bool>{true, false, true};
        QTest::newRow("CR CR LF is two breaks") << u"A\r\r\nB"_s << qint64(3) << QList<bool>{true, false, true};
        QTest::newRow("break at the end") << u"A\r\n"_s << qint64(2) << QList<bool>{true, false, false};
        QTest::newRow("HEX text has none") << u"0D 0A 0D 0A "_s << qint64(1) << QList<bool>{true, false, false};
    }
    void line_breaks()
    {
        QFETCH(QString, text);
        QFETCH(qint64, lines);
        QFETCH(QList<bool>, ink);
        Window w;
        // Appended in single characters, as data arrives: a CR and its LF apart.
        for (const QChar c : text)
            w.box->append_to_receive_box(QStringView(&c, 1));
        QCOMPARE(w.box->text(), text);
        QTRY_VERIFY(w.box->wrapping_done());
        QCOMPARE(w.box->line_count(), lines);
        w.box->clearFocus(); // no caret in the picture
        const QImage image = w.box->viewport()->grab().toImage();
        const int line = QFontMetrics(w.box->font()).lineSpacing();
        for (int row = 0; row < ink.size(); ++row)
            QCOMPARE(row_has_ink(image, 2 + row * line + 2, line - 4), ink.at(row));
    }

    // Data arriving keeps the last line in view; a user who scrolled up is taken back.
    void follows_the_caret()
    {
        Window w;
        for (int i = 0; i < 200; ++i)
            w.box->append_to_receive_box(QString(u"line "_s + QString::number(i) + u"\r\n"_s));
        QScrollBar *bar = w.box->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 150); // the scroll bar follows on the next pass of the event loop
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(0);
        QCOMPARE(w.box->top_line_start(), 0);
        w.box->append_to_receive_box(hex_text(500));
        QTRY_VERIFY(w.box->wrapping_done());
        QTRY_VERIFY(bar->value() > 150);
        QCOMPARE(bar->value(), bar->maximum());
        const QRect caret = w.query(Qt::ImCursorRectangle).toRect();
        QVERIFY(w.box->viewport()->geometry().contains(caret));
        QCOMPARE(w.box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(w.box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    }

    // A new width wraps in the background; the result is what the new width gives from scratch.
    void resize_wraps_again()
    {
        Window w;
        const QString text = hex_text(1'500'000);
        w.box->append_to_receive_box(text);
        QTRY_VERIFY(w.box->wrapping_done());
        const qint64 wide_lines = w.box->line_count();
        w.box->resize(200, 368);
        QVERIFY(!w.box->wrapping_done());
        QTRY_VERIFY_WITH_TIMEOUT(w.box->wrapping_done(), 20000);
        QVERIFY(w.box->line_count() > wide_lines);
        QScrollBar *bar = w.box->verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());

        ReceiveBox fresh(&w.window);
        fresh.setGeometry(w.box->geometry());
        fresh.show();
        fresh.set_text(text);
        QTRY_VERIFY_WITH_TIMEOUT(fresh.wrapping_done(), 20000);
        QCOMPARE(w.box->line_count(), fresh.line_count());
    }

    // While lines are wrapped again in the background, typing, moving and data
    // arriving all work on the text, and the lines come out as a fresh wrap.
    void editing_while_wrapping_again()
    {
        Window w;
        QString reference = hex_text(1'000'000) + u"\r\nend"_s;
        w.box->append_to_receive_box(reference);
        QTRY_VERIFY(w.box->wrapping_done());
        w.box->resize(180, 368);
        QVERIFY(!w.box->wrapping_done());
        for (const Qt::Key key : {Qt::Key_PageUp, Qt::Key_Up, Qt::Key_End, Qt::Key_Down, Qt::Key_PageDown})
            w.key(key);
        w.key(Qt::Key_Home, Qt::ControlModifier);
        w.key(Qt::Key_PageDown);
        w.key(Qt::Key_Home);
        const qint64 at = w.box->caret_position();
        w.keys(u"xy"_s);
        reference.insert(at, u"xy"_s);
        w.key(Qt::Key_Backspace);
        reference.remove(at + 1, 1);
        QVERIFY(!w.box->wrapping_done()); // all of it happened before the wrapping was done
        w.box->append_to_receive_box(u"41 "_s);
        reference += u"41 "_s;
        QCOMPARE(w.box->text(), reference);
        QTRY_VERIFY_WITH_TIMEOUT(w.box->wrapping_done(), 20000);

        ReceiveBox fresh(&w.window);
        fresh.setGeometry(w.box->geometry());
        fresh.show();
        fresh.set_text(reference);
        QTRY_VERIFY_WITH_TIMEOUT(fresh.wrapping_done(), 20000);
        QCOMPARE(w.box->line_count(), fresh.line_count());
        w.box->undo(); // the Backspace
        w.box->undo(); // the typing
        reference.remove(at, 1);
        QCOMPARE(w.box->text(), reference);
    }
};

QTEST_MAIN(TestReceiveBox)
#include "test_receive_box.moc"
