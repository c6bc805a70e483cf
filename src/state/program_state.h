// SPDX-License-Identifier: MIT
#pragma once
// The program state: the five variables the handlers share, touched only on the
// window thread. The start-up owner in app holds the one instance; every command
// reads and writes it through a ProgramState &.

#include <QtGlobal>

#include <array>
#include <optional>

namespace kestrune {

// The lead-byte store: element 0 holds the lead byte, element 1 the byte that
// completed it; no array until the first click of 串口按钮.
using LeadByteStore = std::optional<std::array<quint8, 2>>;

struct ProgramState
{
    int port_is_open = 0;          // written by start-up and the line button only
    int lead_byte_pending = 0;     // a lead byte waits in lead_byte_store
    LeadByteStore lead_byte_store; // made afresh by every click of the line button
    qint64 received_count = 0;
    qint64 sent_count = 0;

    // What every click of the line button does first: a fresh store holding 0 and 0,
    // so a lead byte held across the click is dropped.
    void renew_lead_byte_store()
    {
        lead_byte_store.emplace();
        lead_byte_pending = 0;
    }
};

} // namespace kestrune
