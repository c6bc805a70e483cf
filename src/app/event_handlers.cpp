// SPDX-License-Identifier: MIT
#include "app/event_handlers.h"

#include "app/housekeeping.h"
#include "app/drop_down_list.h"
#include "app/main_window.h"
#include "app/port_devices_tooltip.h"
#include "port/serial_port.h"
#include "receive/receive_box.h"
#include "save/file_save_dialog.h"
#include "save/message_questions.h"
#include "send/period_timer.h"
#include "state/program_state.h"

#include <QIODevice>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::StringLiterals;

namespace kestrune {

EventHandlers::EventHandlers(ProgramState &state, MainWindow &window)
    : state_(state)
    , window_(window)
    , controls_(window)
    , line_command_(controls_, *window.端口1, state)
    , send_command_(controls_, *window.端口1, state)
    , receive_handler_(controls_, *window.接收编辑框, state)
    , save_command_(*window.通用对话框1, window.save_questions())
{
    new PortDevicesTooltip(window.串口组合框);
    connect_events();
}

void EventHandlers::save_receive_box()
{
    save_command_.save_box_to_file([this](QIODevice &out) { window_.接收编辑框->write_gbk(out); });
}

void EventHandlers::save_send_box()
{
    save_command_.save_box_to_file([this](QIODevice &out) { out.write(send_box_bytes(window_)); });
}

void EventHandlers::connect_events()
{
    // Each event has at most one handler; events not listed here change nothing.
    // The window is the context of every connection, so none outlives it.
    MainWindow *w = &window_;
    QObject::connect(w->串口按钮, &QPushButton::clicked, w, [this] { line_command_.on_line_button_clicked(); });
    QObject::connect(w->发送按钮, &QPushButton::clicked, w, [this] { send_command_.send_once(); });
    QObject::connect(w->自动按钮, &QPushButton::clicked, w, [this] { send_command_.toggle_auto_send(); });
    QObject::connect(w->时钟1, &PeriodTimer::tick, w, [this] { send_command_.on_send_timer_tick(); });
    QObject::connect(w->端口1, &SerialPort::bytes_written, w,
                     [this](qint64 count) { send_command_.on_bytes_written(count); });
    QObject::connect(w->端口1, &SerialPort::device_lost, w,
                     [this](const QString &why) { line_command_.on_device_lost(why); });
    QObject::connect(w->端口1, &SerialPort::bytes_received, w,
                     [this](const QByteArray &bytes) { receive_handler_.on_byte_received(bytes); });
    QObject::connect(w->接收文本单选框, &QRadioButton::clicked, w,
                     [this] { receive_handler_.on_receive_text_clicked(); });
    QObject::connect(w->清空接收按钮, &QPushButton::clicked, w, [this] { clear_receive_box(window_); });
    QObject::connect(w->清空发送按钮, &QPushButton::clicked, w, [this] { clear_send_box(window_); });
    QObject::connect(w->清零按钮, &QPushButton::clicked, w, [this] { zero_counters(window_, state_); });
    QObject::connect(w->保存接收按钮, &QPushButton::clicked, w, [this] { save_receive_box(); });
    QObject::connect(w->保存发送按钮, &QPushButton::clicked, w, [this] { save_send_box(); });
}

} // namespace kestrune
