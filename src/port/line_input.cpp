#include "port/line_input.h"

#include <utility>

namespace kestrune {

void LineInput::add_bytes(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_items.isEmpty() || m_items.last().status != 0)
        m_items.append(LineInputItem{});
    m_items.last().bytes.append(bytes);
}

void LineInput::add_status(int kind)
{
    m_items.append(LineInputItem{kind, {}});
}

void LineInput::append(LineInput &&later)
{
    for (LineInputItem &item : later.m_items) {
        if (item.status == 0)
            add_bytes(item.bytes);
        else
            m_items.append(std::move(item));
    }
    later.m_items.clear();
}

QList<LineInputItem> LineInput::take()
{
    return std::exchange(m_items, {});
}

void MarkedInputDecoder::decode(QByteArrayView marked, LineInput &out)
{
    qsizetype run_start = 0; // start of the current run of plain bytes
    for (qsizetype i = 0; i < marked.size(); ++i) {
        const auto byte = quint8(marked[i]);
        switch (m_state) {
        case State::plain:
            if (byte == 0xFF) {
                out.add_bytes(marked.sliced(run_start, i - run_start));
                m_state = State::after_ff;
            }
            break;
        case State::after_ff:
            if (byte == 0xFF) {
                out.add_bytes("\xFF");
                m_state = State::plain;
            } else if (byte == 0x00) {
                m_state = State::after_ff_nul;
            } else {
                // Not a mark the line discipline writes: keep both bytes as they came.
                out.add_bytes("\xFF");
                out.add_bytes(marked.sliced(i, 1));
                m_state = State::plain;
            }
            run_start = i + 1;
            break;
        case State::after_ff_nul:
            out.add_status(byte == 0x00 ? line_break : line_error);
            out.add_bytes(marked.sliced(i, 1));
            m_state = State::plain;
            run_start = i + 1;
            break;
        }
    }
    if (m_state == State::plain)
        out.add_bytes(marked.sliced(run_start));
}

} // namespace kestrune
