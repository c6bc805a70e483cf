#pragma once

#include "port/line_writer.h"
#include "send/send_controls.h"

#include <QtGlobal>

namespace kestrune {

// The click handlers of 发送按钮 and 自动按钮 and the tick handler of 时钟1.
// The window owns the controls, the line and sent_count; this keeps no state.
class SendCommand
{
public:
    SendCommand(SendControls &controls, LineWriter &line, qint64 &sent_count);

    // The send box once over the line, byte by byte, then the count shown.
    void send_once();
    // Starts automatic sending when 发送按钮 is enabled, stops it when disabled.
    void toggle_auto_send();
    void on_send_timer_tick();

private:
    SendControls &controls_;
    LineWriter &line_;
    qint64 &sent_count_;
};

} // namespace kestrune
