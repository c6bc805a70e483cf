// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

namespace kestrune {

// What the byte-received handler reads and changes in the window besides the receive box.
class ReceiveControls
{
public:
    virtual ~ReceiveControls() = default;
    virtual bool receive_hex_checked() const = 0;        // 接收HEX单选框 checked
    virtual void show_received_count(qint64 count) = 0;  // text of 接收数编辑框
};

} // namespace kestrune
