// SPDX-License-Identifier: MIT
#include "app/housekeeping.h"

#include "app/count_box.h"
#include "app/main_window.h"
#include "receive/receive_box.h"
#include "state/program_state.h"

#include <QPlainTextEdit>

namespace kestrune {

void clear_receive_box(MainWindow &window)
{
    window.接收编辑框->clear();
}

void clear_send_box(MainWindow &window)
{
    window.发送编辑框->clear();
}

void zero_counters(MainWindow &window, ProgramState &state)
{
    state.received_count = 0;
    state.sent_count = 0;
    window.接收数编辑框->show_count(0);
    window.发送数编辑框->show_count(0);
}

} // namespace kestrune
