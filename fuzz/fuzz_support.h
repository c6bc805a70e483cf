// SPDX-License-Identifier: MIT
#pragma once
// Shared by the fuzz targets: a property check that stops the run, and a fuzz
// input read as a byte stream plus the lengths of the reads it arrives in.

#include <QByteArrayView>
#include <QList>

#include <cstdint>
#include <cstdio>

// A broken property ends the run at once, so libFuzzer keeps the input.
#define KESTRUNE_FUZZ_CHECK(condition)                                                        \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            __builtin_trap();                                                                 \
        }                                                                                     \
    } while (false)

namespace kestrune::fuzz {

struct SplitInput
{
    QByteArrayView stream;
    QByteArrayView lengths; // read lengths, each taken modulo 64 and used in turn
};

// The first byte says how many length bytes follow it (0 to 15); the rest is the stream.
inline SplitInput read_split_input(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView all(data, qsizetype(size));
    if (all.isEmpty())
        return {};
    const qsizetype count = std::min<qsizetype>(all[0] & 0x0F, all.size() - 1);
    return {all.sliced(1 + count), all.sliced(1, count)};
}

// stream cut into reads by lengths, over and over; empty reads are kept, since a
// caller may be handed one. Without any non-zero length the rest is one read.
inline QList<QByteArrayView> reads(QByteArrayView stream, QByteArrayView lengths)
{
    QList<QByteArrayView> out;
    qsizetype at = 0;
    bool progressed = true;
    while (at < stream.size() && progressed && !lengths.isEmpty()) {
        progressed = false;
        for (const char length : lengths) {
            const qsizetype n = std::min<qsizetype>(quint8(length) % 64, stream.size() - at);
            out.append(stream.sliced(at, n));
            at += n;
            progressed = progressed || n > 0;
        }
    }
    if (at < stream.size() || out.isEmpty())
        out.append(stream.sliced(at));
    return out;
}

} // namespace kestrune::fuzz
