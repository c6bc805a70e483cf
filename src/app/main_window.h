// SPDX-License-Identifier: MIT
#pragma once

#include <QPoint>
#include <QSize>
#include <QWidget>

#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace kestrune {

class CountBox;
class DropDownList;
class FileSaveDialog;
class IntegerEdit;
class MessageBoxQuestions;
class PeriodTimer;
class ReceiveBox;
class SerialPort;

// What the window shows of the line: the three states of the line and of automatic sending.
enum class LineState { closed, open, auto_sending };

// The one window: its controls at their fixed places in their initial state, and
// the three components that are not shown. It holds no program state and runs no
// handler; the program wires its events.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr QSize outer_size{842, 552};

    MainWindow();
    ~MainWindow() override;

    // Where the frame's top-left corner goes to centre the window on a screen of this size.
    static QPoint centred_position(QSize screen);

    // Captions and enabled states for a line state, in one place.
    void show_state(LineState state);

    QLabel *标签1;              // "串口"
    DropDownList *串口组合框;   // port choice
    QLabel *标签2;              // "波特率"
    DropDownList *波特率组合框; // baud-rate choice
    QLabel *标签3;              // "校验位"
    DropDownList *校验位组合框; // parity choice
    QLabel *标签4;              // "停止位"
    DropDownList *停止位组合框; // stop-bit choice
    QPushButton *串口按钮;      // open/close button
    QLabel *标签8;              // hint
    QGroupBox *分组框1;         // receive area
    ReceiveBox *接收编辑框;     // receive box
    QPushButton *清空接收按钮;  // clear-receive button
    QRadioButton *接收文本单选框; // receive text mode
    QRadioButton *接收HEX单选框;  // receive HEX mode
    QPushButton *保存接收按钮;  // save-receive button
    QGroupBox *分组框2;         // send area
    QPlainTextEdit *发送编辑框; // send box
    QRadioButton *发送文本单选框; // send text mode
    QRadioButton *发送HEX单选框;  // send HEX mode
    QPushButton *清空发送按钮;  // clear-send button
    QPushButton *保存发送按钮;  // save-send button
    QLabel *标签5;              // "周期(ms)"
    IntegerEdit *周期编辑框;    // period box
    QPushButton *发送按钮;      // send button
    QPushButton *自动按钮;      // automatic-send button
    QPushButton *清零按钮;      // zero-counters button
    QLabel *标签6;              // "发送字节数"
    CountBox *发送数编辑框;     // sent-count box
    QLabel *标签7;              // "接收字节数"
    CountBox *接收数编辑框;     // received-count box

    PeriodTimer *时钟1;         // automatic-send timer
    FileSaveDialog *通用对话框1; // save dialog
    SerialPort *端口1;          // serial port component

    // The save's questions and messages, as message boxes over this window: what
    // 通用对话框1 and the save command ask through.
    MessageBoxQuestions &save_questions() { return *save_questions_; }

protected:
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void fit_frame();
    bool frame_fitted_ = false;
    std::unique_ptr<MessageBoxQuestions> save_questions_;
};

} // namespace kestrune
