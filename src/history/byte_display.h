// SPDX-License-Identifier: MIT
#pragma once
// What received bytes look like in the receive box, as plain functions over the
// lead-byte state, so the decoding can be exercised without a window.

#include "state/program_state.h"

#include <QByteArrayView>
#include <QString>

namespace kestrune {

// Appends the HEX display of bytes to out: two upper-case digits and a space each.
void append_hex_display(QByteArrayView bytes, QString &out);

// Appends the text display of bytes to out. Byte 0 shows nothing, 1..127 show as
// they are, a byte of 128 or more is held as a lead byte; a held lead and the next
// byte show as one character when they spell one in GBK, otherwise the lead shows
// as U+FFFD and the next byte is taken as if no lead were held. The held lead is
// carried across calls in lead_byte_pending / lead_byte_store; a pending flag over
// a store whose element 0 is no lead byte (a store renewed meanwhile) holds nothing.
// Returns false only when every byte just became the held lead, that is when a
// byte-by-byte handler would not have touched the receive box at all.
bool append_text_display(QByteArrayView bytes, int &lead_byte_pending,
                         LeadByteStore &lead_byte_store, QString &out);

} // namespace kestrune
