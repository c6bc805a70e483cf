#pragma once

#include "receive/receive_handler.h"

#include <QtGlobal>

namespace kestrune {

// The five variables the handlers share; touched only on the window thread.
struct ProgramState
{
    int port_is_open = 0;          // written by start-up and the line button only
    int lead_byte_pending = 0;     // a lead byte waits in lead_byte_store
    LeadByteStore lead_byte_store; // made afresh by every click of the line button
    qint64 received_count = 0;
    qint64 sent_count = 0;
};

// The window-created event.
void on_main_window_ready(ProgramState &state);
// The exit step, run once the event loop has ended.
void on_program_exit(ProgramState &state);

} // namespace kestrune
