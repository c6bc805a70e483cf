// SPDX-License-Identifier: MIT
#include "history/byte_display.h"

#include "text/gbk.h"

namespace kestrune {

namespace {

// Grows out by room characters and returns where they start; out keeps its
// capacity across chunks, so a steady stream allocates nothing here.
char16_t *grow(QString &out, qsizetype room)
{
    const qsizetype old = out.size();
    out.resize(old + room);
    return reinterpret_cast<char16_t *>(out.data()) + old;
}

} // namespace

void append_hex_display(QByteArrayView bytes, QString &out)
{
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    char16_t *d = grow(out, 3 * bytes.size());
    for (const char ch : bytes) {
        const auto b = quint8(ch);
        d[0] = digits[b >> 4];
        d[1] = digits[b & 0x0F];
        d[2] = u' ';
        d += 3;
    }
}

bool append_text_display(QByteArrayView bytes, int &lead_byte_pending,
                         LeadByteStore &lead_byte_store, QString &out)
{
    // The store exists whenever the line is open; it is made here only when the
    // handler is driven before the first click of 串口按钮.
    if (!lead_byte_store)
        lead_byte_store.emplace(std::array<quint8, 2>{0, 0});
    auto &store = *lead_byte_store;

    // Each byte shows at most one character, and a failed pair one more for its lead.
    const qsizetype old = out.size();
    char16_t *const begin = grow(out, bytes.size() + 1);
    char16_t *d = begin;
    quint8 lead = store[0];
    bool held = lead_byte_pending != 0 && lead >= 0x80;
    bool touched = false;
    for (const char ch : bytes) {
        const auto b = quint8(ch);
        if (held) {
            held = false;
            touched = true;
            if (const char16_t pair = gbk_pair(lead, b)) {
                store[1] = b;
                *d++ = pair;
                continue;
            }
            *d++ = u'\uFFFD';
        }
        if (b >= 0x80) {
            lead = b;
            held = true;
            continue;
        }
        touched = true;
        if (b != 0)
            *d++ = char16_t(b);
    }
    store[0] = lead;
    lead_byte_pending = held ? 1 : 0;
    out.resize(old + (d - begin));
    return touched;
}

} // namespace kestrune
