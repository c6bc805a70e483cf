#include "receive/receive_box.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace kestrune;

namespace {

// The box at its size in the window, with a second tab stop beside it.
struct Window {
    QWidget window;
    ReceiveBox *box = new ReceiveBox(&window);
    QLineEdit *other = new QLineEdit(&window);

    Window()
    {
        box->setGeometry(11, 22, 296, 368);
        other->setGeometry(11, 400, 100, 24);
        window.resize(340, 440);
        window.show();
        window.activateWindow();
        box->setFocus();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    QVariant query(Qt::InputMethodQuery q) const { return static_cast<QWidget *>(box)->inputMethodQuery(q); }
    void keys(const QString &text) { QTest::keyClicks(box, text); }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(box, key, modifiers); }
    void key(QKeySequence::StandardKey standard)
    {
        const QKeyCombination combo = QKeySequence(standard)[0];
        QTest::keyClick(box, combo.key(), combo.keyboardModifiers());
    }
};

QString hex_text(int bytes)
{
    QString s;
    for (int i = 0; i < bytes; ++i)
        s += QString::number(i % 256, 16).toUpper().rightJustified(2, u'0') + u' ';
    return s;
}

// Whether a row of text lines has any ink in it.
bool row_has_ink(const QImage &image, int top, int height)
{
    for (int y = top; y < top + height && y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                return true;
    return false;
}

} // namespace

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

    void typing_and_appends_interleaved()
    {
        Window w;
        w.keys(u"ab"_s);
        w.box->append_to_receive_box(u"XY"_s);
        w.keys(u"c"_s); // the append took the caret to the end
        QCOMPARE(w.box->text(), u"abXYc"_s);
        w.key(QKeySequence::MoveToStartOfDocument);
        w.key(Qt::Key_Right);
        w.keys(u"z"_s);
        QCOMPARE(w.box->text(), u"azbXYc"_s);
        w.box->append_to_receive_box(u"W"_s);
        QCOMPARE(w.box->caret_position(), w.box->text_length());
        w.keys(u"q"_s);
        QCOMPARE(w.box->text(), u"azbXYcWq"_s);
    }

    // Whatever the user selected, the next append leaves the caret at the end
    // and nothing selected.
    void selection_lost_at_append_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("double-click on a word") << 0;
        QTest::newRow("Shift+Home") << 1;
        QTest::newRow("select all") << 2;
    }
    void selection_lost_at_append()
    {
        QFETCH(int, how);
        Window w;
        w.box->append_to_receive_box(u"hello world"_s);
        if (how == 0) {
            QTest::mouseDClick(w.box->viewport(), Qt::LeftButton, {}, QPoint(8, 8));
            QCOMPARE(w.box->selected_text(), u"hello"_s);
        } else if (how == 1) {
            w.key(Qt::Key_Home, Qt::ShiftModifier);
            QCOMPARE(w.box->selected_text(), u"hello world"_s);
        } else {
            w.key(QKeySequence::SelectAll);
            QCOMPARE(w.box->selected_text(), u"hello world"_s);
        }
        w.box->append_to_receive_box(u"!"_s);
        QCOMPARE(w.box->selected_text(), QString());
        QCOMPARE(w.box->caret_position(), 12);
        QCOMPARE(w.box->anchor_position(), 12);
        w.keys(u"?"_s); // typing replaces nothing
        QCOMPARE(w.box->text(), u"hello world!?"_s);
    }

    // Appends make no undo step, and the user's steps still undo where they were.
    void undo_after_append_data()
    {
        QTest::addColumn<int>("edit");
        QTest::addColumn<QString>("edited");
        QTest::newRow("typed at the end") << 0 << u"AAA xyBBB"_s;
        QTest::newRow("Backspace in the middle") << 1 << u"AA xyBBB"_s;
        QTest::newRow("pasted over a selection") << 2 << u"AZ xyBBB"_s;
        QTest::newRow("Enter in the middle") << 3 << u"A\r\nAA xyBBB"_s;
    }
    void undo_after_append()
    {
        QFETCH(int, edit);
        QFETCH(QString, edited);
        Window w;
        w.box->append_to_receive_box(u"AAA xy"_s);
        QVERIFY(!w.box->can_undo());
        if (edit == 0) {
            w.box->set_selection(4, 4);
            w.keys(u"ab"_s);
            edited = u"AAA abxyBBB"_s;
        } else {
            w.key(QKeySequence::MoveToStartOfDocument);
            w.key(Qt::Key_Right);
            if (edit == 1) {
                w.key(Qt::Key_Right);
                w.key(Qt::Key_Backspace);
            } else if (edit == 2) {
                QGuiApplication::clipboard()->setText(u"Z"_s);
                w.key(Qt::Key_Right, Qt::ShiftModifier);
                w.key(Qt::Key_Right, Qt::ShiftModifier);
                w.key(QKeySequence::Paste);
            } else {
                w.key(Qt::Key_Return);
            }
        }
        w.box->append_to_receive_box(u"BBB"_s);
        QCOMPARE(w.box->text(), edited);
        QVERIFY(w.box->can_undo());
        w.key(QKeySequence::Undo);
        QCOMPARE(w.box->text(), u"AAA xyBBB"_s);
        QVERIFY(!w.box->can_undo());
        w.key(QKeySequence::Redo);
        QCOMPARE(w.box->text(), edited);
        w.box->append_to_receive_box(u"C"_s);
        w.box->undo();
        QCOMPARE(w.box->text(), u"AAA xyBBBC"_s);
    }

    // Consecutive typing is one step; a caret move starts another.
    void typing_is_one_undo_step()
    {
        Window w;
        w.keys(u"abc"_s);
        w.key(Qt::Key_Left);
        w.keys(u"d"_s);
        QCOMPARE(w.box->text(), u"abdc"_s);
        w.box->undo();
        QCOMPARE(w.box->text(), u"abc"_s);
        w.box->undo();
        QCOMPARE(w.box->text(), QString());
    }

    void enter_inserts_cr_lf_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
        QTest::newRow("Shift+Return") << int(Qt::Key_Return) << int(Qt::ShiftModifier);
    }
    void enter_inserts_cr_lf()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        Window w;
        w.keys(u"ab"_s);
        w.key(Qt::Key_Left);
        w.key(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(w.box->text(), u"a\r\nb"_s);
        QCOMPARE(w.box->caret_position(), 3);
        // Backspace takes the line break as a whole.
        w.key(Qt::Key_Backspace);
        QCOMPARE(w.box->text(), u"ab"_s);
    }

    void input_method_commit()
    {
        Window w;
        w.box->append_to_receive_box(u"41 "_s);
        QVERIFY(w.box->testAttribute(Qt::WA_InputMethodEnabled));
        QVERIFY(w.query(Qt::ImEnabled).toBool());
        QInputMethodEvent composing(u"zhong"_s, {});
        QApplication::sendEvent(w.box, &composing);
        QCOMPARE(w.box->text(), u"41 "_s); // what is being composed is not text yet
        w.box->append_to_receive_box(u"42 "_s);
        QInputMethodEvent commit;
        commit.setCommitString(u"中文"_s);
        QApplication::sendEvent(w.box, &commit);
        QCOMPARE(w.box->text(), u"41 42 中文"_s);
        QCOMPARE(w.query(Qt::ImSurroundingText).toString(), u"41 42 中文"_s);
        QCOMPARE(w.query(Qt::ImCursorPosition).toInt(), 8);
        const QRect caret = w.query(Qt::ImCursorRectangle).toRect();
        QVERIFY(w.box->rect().contains(caret));
        w.box->undo();
        QCOMPARE(w.box->text(), u"41 42 "_s);
    }

    void tab_moves_the_focus()
    {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        w.box->setFocus();
        QTRY_VERIFY(w.box->hasFocus());
        QCOMPARE(w.box->focusPolicy(), Qt::StrongFocus);
        w.keys(u"a"_s);
        w.key(Qt::Key_Tab);
        QCOMPARE(w.box->text(), u"a"_s);
        QVERIFY(w.other->hasFocus());
    }

    // Data arriving keeps the last line in view; a user who scrolled up is taken back.
    void follows_the_caret()
    {
        Window w;
        for (int i = 0; i < 200; ++i)
            w.box->append_to_receive_box(QString(u"line "_s + QString::number(i) + u"\r\n"_s));
        QScrollBar *bar = w.box->verticalScrollBar();
        QVERIFY(bar->maximum() > 150);
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(0);
        QCOMPARE(w.box->top_line_start(), 0);
        w.box->append_to_receive_box(hex_text(500));
        QTRY_VERIFY(w.box->wrapping_done());
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

    void context_menu()
    {
        Window w;
        w.box->append_to_receive_box(u"one two"_s);
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), w.box->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(w.box->viewport(), &event);
        QMenu *menu = w.box->findChild<QMenu *>();
        QVERIFY(menu);
        QStringList names;
        QList<bool> enabled;
        for (QAction *action : menu->actions()) {
            if (action->isSeparator())
                continue;
            names << action->text();
            enabled << action->isEnabled();
        }
        QCOMPARE(names, (QStringList{u"撤消(&U)"_s, u"重做(&R)"_s, u"剪切(&T)"_s, u"复制(&C)"_s, u"粘贴(&P)"_s,
                                     u"删除(&D)"_s, u"全选(&A)"_s}));
        QCOMPARE(enabled.at(2), false); // nothing selected: no cut
        menu->actions().last()->trigger();
        QCOMPARE(w.box->selected_text(), u"one two"_s);
        menu->close();
    }
};

QTEST_MAIN(TestReceiveBox)
#include "test_receive_box.moc"
