#include "app/program.h"

#include "app/counters.h"
#include "app/drop_down_list.h"
#include "app/main_window.h"
#include "state/program_state.h"
#include "port/port_naming.h"
#include "port/serial_port.h"
#include "receive/receive_box.h"
#include "save/file_save_dialog.h"
#include "send/period_timer.h"

#include <QComboBox>
#include <QEvent>
#include <QIODevice>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::StringLiterals;

namespace kestrune {

namespace {

// The tooltip of the port list names the device each COMn stands for right now.
class PortDevicesTooltip : public QObject
{
public:
    explicit PortDevicesTooltip(QComboBox *list)
        : QObject(list)
        , list_(list)
    {
        list->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == list_ && event->type() == QEvent::ToolTip) {
            QStringList lines;
            for (int position = 0; position < list_->count(); ++position) {
                const QString device = port_device(position + 1);
                lines << list_->itemText(position) % u": "_s % (device.isEmpty() ? u"无设备"_s : device);
            }
            list_->setToolTip(lines.join(u'\n'));
        }
        return false;
    }

private:
    QComboBox *list_;
};

} // namespace

void on_main_window_ready(ProgramState &state)
{
    state.port_is_open = 0;
}

void on_program_exit(ProgramState &state)
{
    state.lead_byte_store.reset();
}

Program::Program(ProgramState &state, MainWindow &window)
    : state_(state)
    , window_(window)
    , controls_(window)
    , line_command_(controls_, *window.端口1, state)
    , send_command_(controls_, *window.端口1, state)
    , receive_handler_(controls_, *window.接收编辑框, state)
    , save_questions_(&window)
    , save_command_(*window.通用对话框1, save_questions_)
{
    new PortDevicesTooltip(window.串口组合框);
    connect_events();
}

void Program::save_receive_box()
{
    save_command_.save_box_to_file([this](QIODevice &out) { window_.接收编辑框->write_gbk(out); });
}

void Program::save_send_box()
{
    save_command_.save_box_to_file([this](QIODevice &out) { out.write(send_box_bytes(window_)); });
}

void Program::connect_events()
{
    // Each event has at most one handler; events not listed here change nothing.
    // The window is the context of every connection, so none outlives it.
    MainWindow *w = &window_;
    QObject::connect(w->串口按钮, &QPushButton::clicked, w, [this] { line_command_.on_line_button_clicked(); });
    QObject::connect(w->发送按钮, &QPushButton::clicked, w, [this] { send_command_.send_once(); });
    QObject::connect(w->自动按钮, &QPushButton::clicked, w, [this] { send_command_.toggle_auto_send(); });
    QObject::connect(w->时钟1, &PeriodTimer::tick, w, [this] { send_command_.on_send_timer_tick(); });
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
