// SPDX-License-Identifier: MIT
#include "port/line_input.h"

#include <utility>

namespace kestrune {

void LineInput::add_bytes(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    if (items_.isEmpty() || !std::holds_alternative<QByteArray>(items_.last()))
        items_.append(QByteArray());
    std::get<QByteArray>(items_.last()).append(bytes);
}

void LineInput::add_status(LineStatus kind)
{
    items_.append(kind);
}

void LineInput::append(LineInput &&later)
{
    for (LineInputItem &item : later.items_) {
        if (const auto *bytes = std::get_if<QByteArray>(&item))
            add_bytes(*bytes);
        else
            items_.append(std::move(item));
    }
    later.items_.clear();
}

QList<LineInputItem> LineInput::take()
{
    return std::exchange(items_, {});
}

void MarkedInputDecoder::decode(QByteArrayView marked, LineInput &out)
{
    qsizetype run_start = 0; // start of the current run of plain bytes
    for (qsizetype i = 0; i < marked.size(); ++i) {
        const auto byte = quint8(marked[i]);
        switch (state_) {
        case State::plain:
            if (byte == 0xFF) {
                out.add_bytes(marked.sliced(run_start, i - run_start));
                state_ = State::after_ff;
            }
            break;
        case State::after_ff:
            if (byte == 0xFF) {
                out.add_bytes("\xFF");
                state_ = State::plain;
            } else if (byte == 0x00) {
                state_ = State::after_ff_nul;
            } else {
                // Not a mark the line discipline writes: keep both bytes as they came.
                out.add_bytes("\xFF");
                out.add_bytes(marked.sliced(i, 1));
                state_ = State::plain;
            }
            run_start = i + 1;
            break;
        case State::after_ff_nul:
            out.add_status(byte == 0x00 ? LineStatus::line_break : LineStatus::line_error);
            out.add_bytes(marked.sliced(i, 1));
            state_ = State::plain;
            run_start = i + 1;
            break;
        }
    }
    if (state_ == State::plain)
        out.add_bytes(marked.sliced(run_start));
}

} // namespace kestrune
