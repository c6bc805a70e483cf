// SPDX-License-Identifier: MIT
#pragma once

#include "port/line_settings.h"

#include <QString>

namespace kestrune {

// What the open/close command of 串口按钮 reads and changes in the window.
class LineControls
{
public:
    virtual ~LineControls() = default;

    virtual int port_position() const = 0;            // selected position of 串口组合框
    virtual QString baud_text() const = 0;             // text of the selected 波特率组合框 item
    virtual int stop_bits_position() const = 0;        // selected position of 停止位组合框
    virtual int parity_position() const = 0;           // selected position of 校验位组合框
    virtual Parity parity_value(int position) const = 0; // item value of 校验位组合框 at a position

    // Sets the period of 时钟1 to 0, which ends automatic sending.
    virtual void stop_send_timer() = 0;
    // Window caption, caption of 串口按钮, 发送按钮 and 自动按钮 for a closed or open line.
    virtual void show_line_state(bool open) = 0;
    // What stands in the way of the line, in plain words (tooltip of 串口按钮): why the
    // last open failed, or that the device went away; empty after a successful open.
    virtual void show_line_trouble(const QString &why) = 0;
};

} // namespace kestrune
