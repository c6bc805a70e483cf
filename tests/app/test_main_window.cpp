// SPDX-License-Identifier: MIT
// The window as the user first sees it, found control by control by object name.

#include "app/integer_edit.h"
#include "app/main_window.h"
#include "receive/receive_box.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kestrune;

namespace {

enum State : int {
    none = 0,
    checked = 1,
    disabled = 2,
    read_only = 4,
    word_wrap = 8,
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    MainWindow *window_ = nullptr;

    template <typename T = QWidget>
    T *control(const QString &name) const
    {
        T *found = window_->findChild<T *>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }

private Q_SLOTS:
    void init()
    {
        window_ = new MainWindow;
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_));
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_));
    }
    void cleanup()
    {
        delete window_;
        window_ = nullptr;
    }

    void controls_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("in_window");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("state");
        const QString window = u"主窗口"_s;
        auto row = [](const char *name, const char *kind, const QString &parent, QRect rect,
                      const QString &text, int state) {
            QTest::newRow(name) << QString::fromLatin1(kind) << parent << rect << text << state;
        };
        row("标签1", "QLabel", window, {20, 14, 29, 24}, u"串口"_s, none);
        row("串口组合框", "QComboBox", window, {49, 16, 63, 20}, u"COM1"_s, none);
        row("标签2", "QLabel", window, {138, 14, 40, 24}, u"波特率"_s, none);
        row("波特率组合框", "QComboBox", window, {184, 16, 83, 20}, u"9600"_s, none);
        row("标签3", "QLabel", window, {290, 13, 40, 24}, u"校验位"_s, none);
        row("校验位组合框", "QComboBox", window, {336, 15, 83, 20}, u"无校验"_s, none);
        row("标签4", "QLabel", window, {437, 13, 40, 24}, u"停止位"_s, none);
        row("停止位组合框", "QComboBox", window, {483, 15, 83, 20}, u"1位"_s, none);
        row("串口按钮", "QPushButton", window, {589, 13, 80, 24}, u"打开串口"_s, none);
        row("分组框1", "QGroupBox", window, {16, 50, 320, 462}, u"接收缓冲区"_s, none);
        row("接收编辑框", "kestrune::ReceiveBox", u"分组框1"_s, {27, 72, 296, 368}, QString(), none);
        row("清空接收按钮", "QPushButton", u"分组框1"_s, {100, 449, 87, 24}, u"清空接收区"_s, none);
        row("接收文本单选框", "QRadioButton", u"分组框1"_s, {28, 451, 80, 24}, u"文本模式"_s, none);
        row("接收HEX单选框", "QRadioButton", u"分组框1"_s, {28, 477, 80, 24}, u"HEX模式"_s, checked);
        row("保存接收按钮", "QPushButton", window, {100, 479, 87, 24}, u"保存接收数据"_s, none);
        row("分组框2", "QGroupBox", window, {352, 50, 320, 462}, u"发送缓冲区"_s, none);
        row("发送编辑框", "QPlainTextEdit", window, {363, 72, 296, 368}, QString(), none);
        row("发送文本单选框", "QRadioButton", u"分组框2"_s, {358, 450, 80, 24}, u"文本模式"_s, none);
        row("发送HEX单选框", "QRadioButton", u"分组框2"_s, {358, 479, 80, 24}, u"HEX模式"_s, checked);
        row("清空发送按钮", "QPushButton", window, {426, 448, 86, 24}, u"清空发送区"_s, none);
        row("保存发送按钮", "QPushButton", window, {426, 477, 86, 24}, u"保存发送数据"_s, none);
        row("标签5", "QLabel", window, {527, 454, 56, 24}, u"周期(ms)"_s, none);
        row("周期编辑框", "kestrune::IntegerEdit", u"分组框2"_s, {527, 477, 56, 24}, u"100"_s, none);
        row("发送按钮", "QPushButton", window, {592, 447, 73, 24}, u"发送数据"_s, disabled);
        row("自动按钮", "QPushButton", window, {592, 476, 73, 24}, u"自动发送"_s, disabled);
        row("清零按钮", "QPushButton", window, {682, 417, 48, 24}, u"清零"_s, none);
        row("标签6", "QLabel", window, {679, 450, 65, 24}, u"发送字节数"_s, none);
        row("发送数编辑框", "QLineEdit", window, {748, 449, 64, 24}, u"0"_s, disabled | read_only);
        row("标签7", "QLabel", window, {679, 479, 65, 24}, u"接收字节数"_s, none);
        row("接收数编辑框", "QLineEdit", window, {748, 478, 64, 24}, u"0"_s, disabled | read_only);
    }
    void controls()
    {
        QFETCH(QString, kind);
        QFETCH(QString, parent);
        QFETCH(QRect, in_window);
        QFETCH(QString, text);
        QFETCH(int, state);
        QWidget *w = control(QString::fromUtf8(QTest::currentDataTag()));

        QVERIFY2(w->inherits(kind.toLatin1().constData()), w->metaObject()->className());
        QCOMPARE(w->parentWidget()->objectName(), parent);
        QCOMPARE(QRect(w->mapTo(window_, QPoint(0, 0)), w->size()), in_window);
        QVERIFY(w->isVisible());
        QCOMPARE(!w->isEnabled(), bool(state & disabled));

        QString shown;
        if (auto *label = qobject_cast<QLabel *>(w))
            shown = label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(w))
            shown = button->text();
        else if (auto *list = qobject_cast<QComboBox *>(w))
            shown = list->currentText();
        else if (auto *group = qobject_cast<QGroupBox *>(w))
            shown = group->title();
        else if (auto *line = qobject_cast<QLineEdit *>(w))
            shown = line->text();
        else if (auto *plain = qobject_cast<QPlainTextEdit *>(w))
            shown = plain->toPlainText();
        else if (auto *box = qobject_cast<ReceiveBox *>(w))
            shown = box->text();
        QCOMPARE(shown, text);

        if (auto *radio = qobject_cast<QRadioButton *>(w))
            QCOMPARE(radio->isChecked(), bool(state & checked));
        if (auto *line = qobject_cast<QLineEdit *>(w))
            QCOMPARE(line->isReadOnly(), bool(state & read_only));
        if (auto *button = qobject_cast<QPushButton *>(w)) {
            QVERIFY(!button->isDefault());
            QVERIFY(!button->autoDefault());
        }
        if (auto *label = qobject_cast<QLabel *>(w))
            QVERIFY(!label->wordWrap());
    }

    void hint_label_wraps()
    {
        auto *hint = control<QLabel>(u"标签8"_s);
        QCOMPARE(hint->geometry(), QRect(696, 56, 128, 32));
        QVERIFY(hint->wordWrap());
        // Two lines, naming both tooltips, each whole within the label's width and
        // together within its height.
        const QStringList lines = hint->text().split(u'\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).contains(u"串口列表"_s));
        QVERIFY(lines.at(1).contains(u"打开按钮"_s));
        const QFontMetrics metrics(hint->font());
        for (const QString &line : lines)
            QVERIFY2(metrics.horizontalAdvance(line) <= hint->width(), qPrintable(line));
        QVERIFY(hint->heightForWidth(hint->width()) <= hint->height());
    }

    void window_at_start()
    {
        QCOMPARE(window_->windowTitle(), u"Kestrune  状态:关闭"_s);
        QCOMPARE(window_->frameGeometry().size(), MainWindow::outer_size);
        const QList<QSize> sizes = window_->windowIcon().availableSizes();
        for (QSize size : {QSize(16, 16), QSize(24, 24), QSize(32, 32), QSize(48, 48)})
            QVERIFY2(sizes.contains(size), qPrintable(QString::number(size.width())));
        // No control has colours of its own.
        for (QWidget *w : window_->findChildren<QWidget *>())
            QVERIFY2(!w->testAttribute(Qt::WA_SetPalette) && !w->testAttribute(Qt::WA_SetFont),
                     qPrintable(w->objectName()));
    }

    void group_boxes_lie_beneath_every_control()
    {
        // Stacking order is the order of the children: the two group boxes come first.
        const QList<QWidget *> stack = window_->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        QCOMPARE(stack.at(0)->objectName() + stack.at(1)->objectName(), u"分组框1分组框2"_s);
    }

    void lists_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QList<int>>("values"); // empty: the list has none
        QTest::addColumn<int>("selected");
        QTest::newRow("串口组合框") << QStringList{u"COM1"_s, u"COM2"_s, u"COM3"_s, u"COM4"_s, u"COM5"_s, u"COM6"_s}
                                    << QList<int>{} << 0;
        QTest::newRow("波特率组合框") << QStringList{u"600"_s, u"1200"_s, u"2400"_s, u"4800"_s, u"9600"_s,
                                                     u"14400"_s, u"19200"_s, u"28800"_s, u"38400"_s,
                                                     u"57600"_s, u"115200"_s, u"230400"_s, u"460800"_s}
                                      << QList<int>{} << 4;
        QTest::newRow("校验位组合框") << QStringList{u"无校验"_s, u"奇校验"_s, u"偶校验"_s} << QList<int>{0, 1, 2} << 0;
        QTest::newRow("停止位组合框") << QStringList{u"1位"_s, u"2位"_s} << QList<int>{1, 2} << 0;
    }
    void lists()
    {
        QFETCH(QStringList, items);
        QFETCH(QList<int>, values);
        QFETCH(int, selected);
        auto *list = control<QComboBox>(QString::fromUtf8(QTest::currentDataTag()));
        QVERIFY(!list->isEditable());
        QCOMPARE(list->count(), items.size());
        for (int i = 0; i < list->count(); ++i) {
            QCOMPARE(list->itemText(i), items.at(i));
            if (values.isEmpty())
                QVERIFY(!list->itemData(i).isValid());
            else
                QCOMPARE(list->itemData(i).toInt(), values.at(i));
        }
        QCOMPARE(list->currentIndex(), selected);
    }

    // Each list opens to at most 160 px with its field, shows whole items one pixel
    // taller than the style's, and a scroll bar when they do not all fit.
    void list_opens_to_160_pixels_with_whole_taller_items_data()
    {
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("波特率组合框") << true;
        QTest::newRow("串口组合框") << false;
        QTest::newRow("校验位组合框") << false;
    }
    void list_opens_to_160_pixels_with_whole_taller_items()
    {
        QFETCH(bool, scrolls);
        auto *list = control<QComboBox>(QString::fromUtf8(QTest::currentDataTag()));
        QComboBox plain;
        plain.setStyle(list->style());
        plain.addItem(list->itemText(0));
        const int row = list->view()->sizeHintForRow(0);
        QCOMPARE(row, plain.view()->sizeHintForRow(0) + 1);

        list->showPopup();
        QWidget *popup = list->view()->window();
        QTRY_VERIFY(popup->isVisible());
        const QWidget *viewport = list->view()->viewport();
        QCOMPARE(viewport->height() % row, 0);
        QCOMPARE(list->view()->verticalScrollBar()->isVisible(), scrolls);
        if (scrolls) {
            const int open = popup->height() + list->height();
            QVERIFY2(open <= 160 && open > 160 - row, qPrintable(QString::number(open)));
        } else {
            QCOMPARE(viewport->height(), row * list->count());
        }
        QVERIFY(viewport->rect().contains(list->view()->visualRect(list->view()->currentIndex())));
        QCOMPARE(popup->mapToGlobal(QPoint(0, 0)).y(), list->mapToGlobal(QPoint(0, list->height())).y());
        list->hidePopup();
    }

    void tab_visits_every_enabled_tab_stop_once()
    {
        control(u"串口组合框"_s)->setFocus();
        QSet<QString> visited;
        for (int i = 0; i < 40; ++i) {
            visited.insert(QApplication::focusWidget()->objectName());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        // A radio pair is one stop for Tab (the arrow keys move inside it).
        for (const char *radio : {"接收文本单选框", "接收HEX单选框", "发送文本单选框", "发送HEX单选框"}) {
            if (visited.remove(QString::fromUtf8(radio)))
                visited.insert(QString::fromUtf8(radio).left(2) + u"单选框"_s);
        }
        const QStringList expected{u"串口组合框"_s,   u"波特率组合框"_s, u"校验位组合框"_s, u"停止位组合框"_s,
                                   u"串口按钮"_s,     u"接收编辑框"_s,   u"清空接收按钮"_s, u"接收单选框"_s,
                                   u"保存接收按钮"_s, u"发送编辑框"_s,   u"发送单选框"_s,   u"清空发送按钮"_s,
                                   u"保存发送按钮"_s, u"周期编辑框"_s,   u"清零按钮"_s};
        QCOMPARE(visited, QSet<QString>(expected.begin(), expected.end()));
        for (const char *never : {"发送按钮", "自动按钮", "发送数编辑框", "接收数编辑框", "标签1", "分组框1"})
            QVERIFY(!visited.contains(QString::fromUtf8(never)));
    }

    // Tab lands on the checked radio of a pair, so that Space there changes nothing.
    void tab_enters_a_radio_pair_at_its_checked_radio_data()
    {
        QTest::addColumn<QString>("chosen"); // clicked first; empty: the pair as at start
        QTest::addColumn<QString>("from");
        QTest::addColumn<bool>("backwards");
        QTest::addColumn<QString>("lands");
        QTest::newRow("receive pair at start") << QString() << u"清空接收按钮"_s << false << u"接收HEX单选框"_s;
        QTest::newRow("receive pair at start, Shift+Tab")
            << QString() << u"保存接收按钮"_s << true << u"接收HEX单选框"_s;
        QTest::newRow("receive pair in text mode")
            << u"接收文本单选框"_s << u"清空接收按钮"_s << false << u"接收文本单选框"_s;
        QTest::newRow("receive pair back in HEX mode")
            << u"接收HEX单选框"_s << u"保存接收按钮"_s << true << u"接收HEX单选框"_s;
        QTest::newRow("send pair at start") << QString() << u"发送编辑框"_s << false << u"发送HEX单选框"_s;
        QTest::newRow("send pair at start, Shift+Tab")
            << QString() << u"清空发送按钮"_s << true << u"发送HEX单选框"_s;
        QTest::newRow("send pair in text mode")
            << u"发送文本单选框"_s << u"发送编辑框"_s << false << u"发送文本单选框"_s;
        QTest::newRow("send pair in text mode, Shift+Tab")
            << u"发送文本单选框"_s << u"清空发送按钮"_s << true << u"发送文本单选框"_s;
    }
    void tab_enters_a_radio_pair_at_its_checked_radio()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, from);
        QFETCH(bool, backwards);
        QFETCH(QString, lands);
        if (!chosen.isEmpty())
            QTest::mouseClick(control(chosen), Qt::LeftButton);
        control(from)->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), control(from));

        QTest::keyClick(QApplication::focusWidget(), backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                        backwards ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), lands);

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        const QString pair = lands.left(2); // 接收 or 发送
        QVERIFY(control<QRadioButton>(lands)->isChecked());
        for (const QString &radio : QStringList{pair + u"文本单选框"_s, pair + u"HEX单选框"_s})
            QCOMPARE(control<QRadioButton>(radio)->isChecked(), radio == lands);
    }

    void radio_pairs_are_two_groups_data()
    {
        QTest::addColumn<QString>("click");
        QTest::addColumn<QStringList>("checked_after");
        QTest::newRow("send text") << u"发送文本单选框"_s << QStringList{u"发送文本单选框"_s, u"接收HEX单选框"_s};
        QTest::newRow("receive text") << u"接收文本单选框"_s << QStringList{u"接收文本单选框"_s, u"发送HEX单选框"_s};
        QTest::newRow("HEX again") << u"接收HEX单选框"_s << QStringList{u"接收HEX单选框"_s, u"发送HEX单选框"_s};
    }
    void radio_pairs_are_two_groups()
    {
        QFETCH(QString, click);
        QFETCH(QStringList, checked_after);
        QTest::mouseClick(control(click), Qt::LeftButton);
        for (const QString &radio : {u"接收文本单选框"_s, u"接收HEX单选框"_s, u"发送文本单选框"_s, u"发送HEX单选框"_s})
            QCOMPARE(control<QRadioButton>(radio)->isChecked(), checked_after.contains(radio));
    }

    void period_box_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("after_focus_out");
        QTest::newRow("a letter is dropped") << u"1a2"_s << QString() << u"12"_s;
        QTest::newRow("leading zeros") << u"007"_s << QString() << u"7"_s;
        QTest::newRow("above 32 bits") << u"99999999999"_s << QString() << u"2147483647"_s;
        QTest::newRow("negative unchanged") << u"-5"_s << QString() << u"-5"_s;
        QTest::newRow("zero") << u"0"_s << QString() << QString();
        QTest::newRow("minus zero") << u"-0"_s << QString() << QString();
        QTest::newRow("pasted letters") << QString() << u"abc"_s << QString();
        QTest::newRow("pasted digits then letters") << QString() << u"42abc"_s << u"42"_s;
    }
    void period_box()
    {
        QFETCH(QString, typed);
        QFETCH(QString, pasted);
        QFETCH(QString, after_focus_out);
        auto *period = control<IntegerEdit>(u"周期编辑框"_s);
        period->setFocus();
        period->selectAll();
        QTest::keyClick(period, Qt::Key_Delete);
        QTest::keyClicks(period, typed);
        if (!pasted.isEmpty()) {
            QApplication::clipboard()->setText(pasted);
            QTest::keyClick(period, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(period->text(), pasted); // pasting is not filtered
        } else if (typed.contains(u'a')) {
            QCOMPARE(period->text(), u"12"_s);
        }
        control(u"清零按钮"_s)->setFocus();
        QCOMPARE(period->text(), after_focus_out);
    }

    void period_box_waits_while_its_context_menu_is_open()
    {
        auto *period = control<IntegerEdit>(u"周期编辑框"_s);
        period->setFocus();
        period->setText(u"-"_s);
        QFocusEvent menu_opens(QEvent::FocusOut, Qt::PopupFocusReason);
        QCoreApplication::sendEvent(period, &menu_opens);
        QCOMPARE(period->text(), u"-"_s); // still there for a paste of "5"
        control(u"清零按钮"_s)->setFocus();
        QCOMPARE(period->text(), QString());
    }

    void esc_does_not_close()
    {
        QTest::keyClick(control(u"串口按钮"_s), Qt::Key_Escape);
        QTest::keyClick(window_, Qt::Key_Escape);
        QVERIFY(window_->isVisible());
    }

    void enter_starts_a_line_in_both_boxes()
    {
        auto *send = control<QPlainTextEdit>(u"发送编辑框"_s);
        send->setFocus();
        QTest::keyClicks(send, u"A"_s);
        QTest::keyClick(send, Qt::Key_Return);
        QTest::keyClicks(send, u"B"_s);
        QCOMPARE(send->toPlainText(), u"A\nB"_s);
        QCOMPARE(send->hasFocus(), true);

        auto *receive = control<ReceiveBox>(u"接收编辑框"_s);
        receive->setFocus();
        QTest::keyClicks(receive, u"A"_s);
        QTest::keyClick(receive, Qt::Key_Return);
        QTest::keyClicks(receive, u"B"_s);
        QCOMPARE(receive->text(), u"A\r\nB"_s);
    }

    void resizing_moves_no_control()
    {
        // The controls are the named children; Qt's own parts of them have no name.
        auto controls = [this] {
            QList<QWidget *> named = window_->findChildren<QWidget *>();
            named.removeIf([](QWidget *w) { return w->objectName().isEmpty() || w->objectName().startsWith(u"qt_"_s); });
            return named;
        };
        QHash<QWidget *, QRect> before;
        for (QWidget *w : controls())
            before.insert(w, w->geometry());
        QCOMPARE(before.size(), 31);
        window_->resize(1200, 900);
        window_->showMaximized();
        QCoreApplication::processEvents();
        for (QWidget *w : controls())
            QCOMPARE(w->geometry(), before.value(w));
    }

    void centred_on_the_whole_screen_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QPoint>("top_left");
        QTest::newRow("1920x1080") << QSize(1920, 1080) << QPoint(539, 264);
        QTest::newRow("odd sizes round down") << QSize(1025, 769) << QPoint(91, 108);
        QTest::newRow("smaller than the window") << QSize(800, 500) << QPoint(-21, -26);
    }
    void centred_on_the_whole_screen()
    {
        QFETCH(QSize, screen);
        QFETCH(QPoint, top_left);
        QCOMPARE(MainWindow::centred_position(screen), top_left);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
