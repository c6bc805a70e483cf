// SPDX-License-Identifier: MIT
#include "box_window.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>
#include <QScrollBar>

using namespace Qt::StringLiterals;
using namespace kestrune;
using namespace kestrune::test;

class TestReceiveBoxEditing : public QObject
{
    Q_OBJECT
private Q_SLOTS:
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

    // Caret steps take CR LF and surrogate pairs whole.
    void deleting_and_stepping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caret");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("caret_after");
        const int none = int(Qt::NoModifier);
        QTest::newRow("Backspace after CR LF") << u"a\r\nb"_s << 3 << int(Qt::Key_Backspace) << none << u"ab"_s << 1;
        QTest::newRow("Delete before CR LF") << u"a\r\nb"_s << 1 << int(Qt::Key_Delete) << none << u"ab"_s << 1;
        QTest::newRow("Backspace after a lone LF") << u"a\n\nb"_s << 3 << int(Qt::Key_Backspace) << none << u"a\nb"_s << 2;
        QTest::newRow("Backspace after a pair") << u"a😀b"_s << 3 << int(Qt::Key_Backspace) << none << u"ab"_s << 1;
        QTest::newRow("Delete before a pair") << u"a😀b"_s << 1 << int(Qt::Key_Delete) << none << u"ab"_s << 1;
        QTest::newRow("Right over a pair") << u"a😀b"_s << 1 << int(Qt::Key_Right) << none << u"a😀b"_s << 3;
        QTest::newRow("Left over CR LF") << u"a\r\nb"_s << 3 << int(Qt::Key_Left) << none << u"a\r\nb"_s << 1;
        QTest::newRow("Ctrl+Backspace") << u"hello world"_s << 11 << int(Qt::Key_Backspace) << int(Qt::ControlModifier)
                                        << u"hello "_s << 6;
        QTest::newRow("Ctrl+Right") << u"hello world"_s << 0 << int(Qt::Key_Right) << int(Qt::ControlModifier)
                                    << u"hello world"_s << 6;
        QTest::newRow("Ctrl+Left") << u"hello world"_s << 11 << int(Qt::Key_Left) << int(Qt::ControlModifier)
                                   << u"hello world"_s << 6;
        QTest::newRow("Backspace at the start") << u"ab"_s << 0 << int(Qt::Key_Backspace) << none << u"ab"_s << 0;
        QTest::newRow("Delete at the end") << u"ab"_s << 2 << int(Qt::Key_Delete) << none << u"ab"_s << 2;
    }
    void deleting_and_stepping()
    {
        QFETCH(QString, text);
        QFETCH(int, caret);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, after);
        QFETCH(int, caret_after);
        Window w;
        w.box->append_to_receive_box(text);
        w.box->set_selection(caret, caret);
        w.key(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(w.box->text(), after);
        QCOMPARE(w.box->caret_position(), caret_after);
    }

    // On wrapped lines: End stays on its line though its position is the next
    // line's start, Up and Down keep the column.
    void moving_on_wrapped_lines()
    {
        Window w;
        const QString zeros = u"00 "_s.repeated(2000); // every line holds the same bytes
        w.box->append_to_receive_box(zeros);
        const int line = QFontMetrics(w.box->font()).lineSpacing();
        auto caret_row = [&] { return (w.query(Qt::ImCursorRectangle).toRect().top() - w.box->viewport()->y()) / line; };
        w.key(QKeySequence::MoveToStartOfDocument);
        QCOMPARE(caret_row(), 0);
        w.key(Qt::Key_End);
        const qint64 per_line = w.box->caret_position();
        QVERIFY(per_line > 0);
        QCOMPARE(per_line % 3, 0); // lines break after the space of a byte
        QCOMPARE(caret_row(), 0);
        w.key(Qt::Key_Right);
        QCOMPARE(w.box->caret_position(), per_line + 1);
        QCOMPARE(caret_row(), 1);
        w.key(Qt::Key_Home);
        QCOMPARE(w.box->caret_position(), per_line);
        QCOMPARE(caret_row(), 1);
        w.key(Qt::Key_Right);
        w.key(Qt::Key_Down);
        QCOMPARE(w.box->caret_position(), 2 * per_line + 1);
        w.key(Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(w.box->selected_text(), zeros.mid(per_line + 1, per_line));
        // Page Down takes the view and the caret down together.
        QScrollBar *bar = w.box->verticalScrollBar();
        bar->setValue(0);
        w.key(QKeySequence::MoveToStartOfDocument);
        w.key(Qt::Key_PageDown);
        QVERIFY(bar->value() > 0);
        QCOMPARE(w.box->caret_position(), (bar->value() + caret_row()) * per_line);
    }

    void mouse_selection()
    {
        Window w;
        w.box->append_to_receive_box(u"hello world\r\nsecond line"_s);
        QWidget *view = w.box->viewport();
        const int line = QFontMetrics(w.box->font()).lineSpacing();
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(5, 2 + line / 2));
        QCOMPARE(w.box->caret_position(), 0);
        QTest::mouseMove(view, QPoint(250, 2 + line + line / 2));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(250, 2 + line + line / 2));
        QCOMPARE(w.box->selected_text(), u"hello world\r\nsecond line"_s);
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(250, 2 + line / 2));
        QCOMPARE(w.box->caret_position(), 11); // past the end of a line: before its break
        QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 2 + line + line / 2));
        QCOMPARE(w.box->selected_text(), u"\r\n"_s);
        w.key(QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"\r\n"_s);
        w.key(QKeySequence::Cut);
        QCOMPARE(w.box->text(), u"hello worldsecond line"_s);
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

QTEST_MAIN(TestReceiveBoxEditing)
#include "test_receive_box_editing.moc"
