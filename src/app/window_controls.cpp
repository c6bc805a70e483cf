// SPDX-License-Identifier: MIT
#include "app/window_controls.h"

#include "app/count_box.h"
#include "app/drop_down_list.h"
#include "app/integer_edit.h"
#include "app/main_window.h"
#include "send/period_timer.h"
#include "text/gbk.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

namespace kestrune {

WindowControls::WindowControls(MainWindow &window)
    : window_(window)
{
}

int WindowControls::port_position() const
{
    return window_.串口组合框->currentIndex();
}

QString WindowControls::baud_text() const
{
    return window_.波特率组合框->currentText();
}

int WindowControls::stop_bits_position() const
{
    return window_.停止位组合框->currentIndex();
}

int WindowControls::parity_position() const
{
    return window_.校验位组合框->currentIndex();
}

Parity WindowControls::parity_value(int position) const
{
    return Parity(window_.校验位组合框->itemData(position).toInt());
}

void WindowControls::stop_send_timer()
{
    window_.时钟1->set_period(0);
}

void WindowControls::show_line_state(bool open)
{
    window_.show_state(open ? LineState::open : LineState::closed);
}

void WindowControls::show_line_trouble(const QString &why)
{
    window_.串口按钮->setToolTip(why);
}

bool WindowControls::send_hex_checked() const
{
    return window_.发送HEX单选框->isChecked();
}

QByteArray WindowControls::send_text() const
{
    return send_box_bytes(window_);
}

void WindowControls::show_sent_count(qint64 count)
{
    window_.发送数编辑框->show_count(count);
}

bool WindowControls::send_button_disabled() const
{
    return !window_.发送按钮->isEnabled();
}

void WindowControls::show_auto_send(bool on)
{
    window_.show_state(on ? LineState::auto_sending : LineState::open);
}

QString WindowControls::period_text() const
{
    return window_.周期编辑框->text();
}

void WindowControls::set_send_timer_period(int ms)
{
    window_.时钟1->set_period(ms);
}

bool WindowControls::receive_hex_checked() const
{
    return window_.接收HEX单选框->isChecked();
}

void WindowControls::show_received_count(qint64 count)
{
    window_.接收数编辑框->show_count(count);
}

QByteArray send_box_bytes(const MainWindow &window)
{
    // The raw text keeps what toPlainText would alter (no-break spaces).
    return edit_text_bytes(window.发送编辑框->document()->toRawText());
}

} // namespace kestrune
