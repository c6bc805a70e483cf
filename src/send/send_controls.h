// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

namespace kestrune {

// What the send command and automatic sending read and change in the window.
class SendControls
{
public:
    virtual ~SendControls() = default;

    virtual bool send_hex_checked() const = 0;      // 发送HEX单选框 checked
    virtual QByteArray send_text() const = 0;        // 发送编辑框 as GBK bytes, line breaks CR LF
    virtual void show_sent_count(qint64 count) = 0;  // text of 发送数编辑框

    // 发送按钮 disabled while the line is open: the one record that automatic sending is on.
    virtual bool send_button_disabled() const = 0;
    // On: 发送按钮 disabled and 自动按钮 captioned "关闭发送"; off: the reverse, "自动发送".
    virtual void show_auto_send(bool on) = 0;
    virtual QString period_text() const = 0;         // text of 周期编辑框
    virtual void set_send_timer_period(int ms) = 0;  // period of 时钟1
};

} // namespace kestrune
