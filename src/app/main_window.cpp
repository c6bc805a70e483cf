// SPDX-License-Identifier: MIT
#include "app/main_window.h"

#include "app/count_box.h"
#include "app/drop_down_list.h"
#include "app/integer_edit.h"
#include "app/window_icon.h"
#include "port/serial_port.h"
#include "receive/receive_box.h"
#include "save/file_save_dialog.h"
#include "save/message_questions.h"
#include "send/period_timer.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace kestrune {

namespace {

template <typename Control>
Control *place(Control *control, QStringView name, QRect geometry)
{
    control->setObjectName(name.toString());
    control->setGeometry(geometry);
    return control;
}

QLabel *make_label(QWidget *parent, QStringView name, QRect geometry, const QString &text)
{
    auto *label = place(new QLabel(text, parent), name, geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QPushButton *make_button(QWidget *parent, QStringView name, QRect geometry, const QString &caption)
{
    auto *button = place(new QPushButton(caption, parent), name, geometry);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QRadioButton *make_radio(QWidget *parent, QStringView name, QRect geometry, const QString &caption,
                         bool checked)
{
    auto *radio = place(new QRadioButton(caption, parent), name, geometry);
    radio->setAutoExclusive(true);
    radio->setChecked(checked);
    return radio;
}

// A radio pair as one exclusive group, the way Qt sets one up, so that Tab enters
// the pair at its checked radio: the unchecked one is left out of the tab chain.
void group_radio_pair(QRadioButton *first, QRadioButton *second)
{
    auto *group = new QButtonGroup(first->parentWidget());
    group->setExclusive(true);
    group->addButton(first);
    group->addButton(second);
    const auto tab_to_checked = [group] {
        for (QAbstractButton *radio : group->buttons()) {
            const Qt::FocusPolicy policy = radio->focusPolicy();
            radio->setFocusPolicy(radio->isChecked() ? Qt::FocusPolicy(policy | Qt::TabFocus)
                                                     : Qt::FocusPolicy(policy & ~Qt::TabFocus));
        }
    };
    tab_to_checked();
    QObject::connect(group, &QButtonGroup::buttonToggled, group, tab_to_checked);
}

DropDownList *make_list(QWidget *parent, QStringView name, QRect geometry,
                        std::initializer_list<QString> items, std::initializer_list<int> values,
                        int selected)
{
    auto *list = place(new DropDownList(parent), name, geometry);
    auto value = values.begin();
    for (const QString &item : items) {
        if (value != values.end())
            list->addItem(item, *value++);
        else
            list->addItem(item);
    }
    list->setCurrentIndex(selected);
    return list;
}

CountBox *make_count_box(QWidget *parent, QStringView name, QRect geometry)
{
    auto *box = place(new CountBox(parent), name, geometry);
    box->setText(u"0"_s);
    box->setReadOnly(true);
    box->setEnabled(false);
    return box;
}

QString window_caption(bool open)
{
    return open ? u"Kestrune  状态:开启"_s : u"Kestrune  状态:关闭"_s;
}

} // namespace

MainWindow::MainWindow()
{
    setObjectName(u"主窗口"_s);
    setWindowTitle(window_caption(false));
    setWindowIcon(window_icon());

    // Group boxes first and lowered, so every other control lies above their frames.
    分组框1 = place(new QGroupBox(u"接收缓冲区"_s, this), u"分组框1", {16, 50, 320, 462});
    分组框2 = place(new QGroupBox(u"发送缓冲区"_s, this), u"分组框2", {352, 50, 320, 462});
    分组框2->lower();
    分组框1->lower();

    标签1 = make_label(this, u"标签1", {20, 14, 29, 24}, u"串口"_s);
    串口组合框 = make_list(this, u"串口组合框", {49, 16, 63, 20},
                           {u"COM1"_s, u"COM2"_s, u"COM3"_s, u"COM4"_s, u"COM5"_s, u"COM6"_s}, {}, 0);
    标签2 = make_label(this, u"标签2", {138, 14, 40, 24}, u"波特率"_s);
    波特率组合框 = make_list(this, u"波特率组合框", {184, 16, 83, 20},
                             {u"600"_s, u"1200"_s, u"2400"_s, u"4800"_s, u"9600"_s, u"14400"_s,
                              u"19200"_s, u"28800"_s, u"38400"_s, u"57600"_s, u"115200"_s,
                              u"230400"_s, u"460800"_s},
                             {}, 4);
    标签3 = make_label(this, u"标签3", {290, 13, 40, 24}, u"校验位"_s);
    校验位组合框 = make_list(this, u"校验位组合框", {336, 15, 83, 20},
                             {u"无校验"_s, u"奇校验"_s, u"偶校验"_s},
                             {int(Parity::none), int(Parity::odd), int(Parity::even)}, 0);
    标签4 = make_label(this, u"标签4", {437, 13, 40, 24}, u"停止位"_s);
    停止位组合框 = make_list(this, u"停止位组合框", {483, 15, 83, 20}, {u"1位"_s, u"2位"_s},
                             {int(StopBits::one), int(StopBits::two)}, 0);
    串口按钮 = make_button(this, u"串口按钮", {589, 13, 80, 24}, u"打开串口"_s);
    // Where the two tooltips are: the port list's devices, and the open button's
    // error when an open failed. Two lines that fit the label's 128 x 32.
    标签8 = make_label(this, u"标签8", {696, 56, 128, 32}, u"悬停串口列表:看设备\n悬停打开按钮:看错误"_s);
    标签8->setWordWrap(true);

    接收编辑框 = place(new ReceiveBox(分组框1), u"接收编辑框", {11, 22, 296, 368});
    清空接收按钮 = make_button(分组框1, u"清空接收按钮", {84, 399, 87, 24}, u"清空接收区"_s);
    接收文本单选框 = make_radio(分组框1, u"接收文本单选框", {12, 401, 80, 24}, u"文本模式"_s, false);
    接收HEX单选框 = make_radio(分组框1, u"接收HEX单选框", {12, 427, 80, 24}, u"HEX模式"_s, true);
    group_radio_pair(接收文本单选框, 接收HEX单选框);
    保存接收按钮 = make_button(this, u"保存接收按钮", {100, 479, 87, 24}, u"保存接收数据"_s);

    发送编辑框 = place(new QPlainTextEdit(this), u"发送编辑框", {363, 72, 296, 368});
    发送编辑框->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    发送编辑框->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    发送编辑框->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    发送编辑框->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    发送编辑框->setTabChangesFocus(true);
    发送文本单选框 = make_radio(分组框2, u"发送文本单选框", {6, 400, 80, 24}, u"文本模式"_s, false);
    发送HEX单选框 = make_radio(分组框2, u"发送HEX单选框", {6, 429, 80, 24}, u"HEX模式"_s, true);
    group_radio_pair(发送文本单选框, 发送HEX单选框);
    清空发送按钮 = make_button(this, u"清空发送按钮", {426, 448, 86, 24}, u"清空发送区"_s);
    保存发送按钮 = make_button(this, u"保存发送按钮", {426, 477, 86, 24}, u"保存发送数据"_s);
    标签5 = make_label(this, u"标签5", {527, 454, 56, 24}, u"周期(ms)"_s);
    周期编辑框 = place(new IntegerEdit(分组框2), u"周期编辑框", {175, 427, 56, 24});
    周期编辑框->setText(u"100"_s);
    发送按钮 = make_button(this, u"发送按钮", {592, 447, 73, 24}, u"发送数据"_s);
    发送按钮->setEnabled(false);
    自动按钮 = make_button(this, u"自动按钮", {592, 476, 73, 24}, u"自动发送"_s);
    自动按钮->setEnabled(false);
    清零按钮 = make_button(this, u"清零按钮", {682, 417, 48, 24}, u"清零"_s);
    标签6 = make_label(this, u"标签6", {679, 450, 65, 24}, u"发送字节数"_s);
    发送数编辑框 = make_count_box(this, u"发送数编辑框", {748, 449, 64, 24});
    标签7 = make_label(this, u"标签7", {679, 479, 65, 24}, u"接收字节数"_s);
    接收数编辑框 = make_count_box(this, u"接收数编辑框", {748, 478, 64, 24});

    时钟1 = new PeriodTimer(this);
    时钟1->setObjectName(u"时钟1"_s);
    save_questions_ = std::make_unique<MessageBoxQuestions>(this);
    通用对话框1 = new FileSaveDialog(this, *save_questions_);
    通用对话框1->setObjectName(u"通用对话框1"_s);
    端口1 = new SerialPort(this);
    端口1->setObjectName(u"端口1"_s);

    // Tab goes along the rows: settings, receive area, send area, counters.
    const QList<QWidget *> tab_order{串口组合框,  波特率组合框,  校验位组合框,   停止位组合框,
                                     串口按钮,    接收编辑框,    清空接收按钮,   接收文本单选框,
                                     接收HEX单选框, 保存接收按钮, 发送编辑框,     发送文本单选框,
                                     发送HEX单选框, 清空发送按钮, 保存发送按钮,   周期编辑框,
                                     发送按钮,    自动按钮,      清零按钮,       发送数编辑框,
                                     接收数编辑框};
    for (qsizetype i = 1; i < tab_order.size(); ++i)
        setTabOrder(tab_order[i - 1], tab_order[i]);

    resize(outer_size);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().topLeft() + centred_position(screen->geometry().size()));
}

MainWindow::~MainWindow() = default;

QPoint MainWindow::centred_position(QSize screen)
{
    return {(screen.width() - outer_size.width()) / 2, (screen.height() - outer_size.height()) / 2};
}

void MainWindow::show_state(LineState state)
{
    const bool open = state != LineState::closed;
    setWindowTitle(window_caption(open));
    串口按钮->setText(open ? u"关闭串口"_s : u"开启串口"_s);
    发送按钮->setEnabled(state == LineState::open);
    自动按钮->setEnabled(open);
    自动按钮->setText(state == LineState::auto_sending ? u"关闭发送"_s : u"自动发送"_s);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!frame_fitted_)
        QTimer::singleShot(0, this, &MainWindow::fit_frame);
}

void MainWindow::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    if (!frame_fitted_ && isVisible())
        fit_frame();
}

void MainWindow::fit_frame()
{
    // A window manager adds its frame after the window is mapped: once the frame
    // is known, shrink the client area so that the whole window is outer_size.
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame_fitted_ || (frame.width() <= 0 && frame.height() <= 0))
        return;
    frame_fitted_ = true;
    resize(outer_size - frame);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().topLeft() + centred_position(screen->geometry().size()));
}

} // namespace kestrune
