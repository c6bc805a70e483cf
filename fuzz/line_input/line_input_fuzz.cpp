// SPDX-License-Identifier: MIT
// The PARMRK decoder of the receive thread fed arbitrary reads: the items may not
// depend on where a read ends, and marks made by the line discipline decode back
// to the bytes and events they stand for.

#include "fuzz_support.h"
#include "port/line_input.h"

#include <algorithm>

using namespace kestrune;
using namespace kestrune::fuzz;

namespace {

// One decoder over the reads, each read into its own LineInput and handed on, as
// the receive thread does.
QList<LineInputItem> decode_reads(const QList<QByteArrayView> &pieces)
{
    MarkedInputDecoder decoder;
    LineInput gathered;
    for (const QByteArrayView piece : pieces) {
        LineInput read;
        decoder.decode(piece, read);
        gathered.append(std::move(read));
    }
    return gathered.take();
}

// Into one LineInput across all reads.
QList<LineInputItem> decode_into_one(const QList<QByteArrayView> &pieces)
{
    MarkedInputDecoder decoder;
    LineInput out;
    for (const QByteArrayView piece : pieces)
        decoder.decode(piece, out);
    return out.take();
}

struct Marked
{
    QByteArray line;     // the marked bytes as read from the tty
    LineInput expected;  // what it stands for
};

// The stream read as a script: FF c is a received FF (c % 4 == 0), a line error on
// the byte after c (1), a break (2), or an FF that starts no mark before the byte
// after c (3), kept as it came; any other byte is received as it is.
Marked mark(QByteArrayView script)
{
    Marked m;
    for (qsizetype i = 0; i < script.size(); ++i) {
        const char b = script[i];
        if (quint8(b) != 0xFF) {
            m.line.append(b);
            m.expected.add_bytes(QByteArrayView(&b, 1));
            continue;
        }
        if (++i == script.size())
            break;
        const int kind = quint8(script[i]) % 4;
        if (kind == 0) {
            m.line.append("\xFF\xFF");
            m.expected.add_bytes("\xFF");
        } else if (kind == 1 && i + 1 < script.size()) {
            const char x = script[++i];
            m.line.append("\xFF\0", 2).append(x);
            // An error on a NUL is written as a break: the marks cannot tell them apart.
            m.expected.add_status(x == 0 ? LineStatus::line_break : LineStatus::line_error);
            m.expected.add_bytes(QByteArrayView(&x, 1));
        } else if (kind == 2) {
            m.line.append("\xFF\0\0", 3);
            m.expected.add_status(LineStatus::line_break);
            m.expected.add_bytes(QByteArrayView("\0", 1));
        } else if (kind == 3 && i + 1 < script.size() && script[i + 1] != 0 && quint8(script[i + 1]) != 0xFF) {
            const char x = script[++i];
            m.line.append('\xFF').append(x);
            m.expected.add_bytes("\xFF");
            m.expected.add_bytes(QByteArrayView(&x, 1));
        }
    }
    return m;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const SplitInput input = read_split_input(data, size);

    const QList<LineInputItem> whole = decode_reads({input.stream});
    KESTRUNE_FUZZ_CHECK(decode_reads(reads(input.stream, input.lengths)) == whole);
    KESTRUNE_FUZZ_CHECK(decode_into_one(reads(input.stream, input.lengths)) == whole);
    if (!input.stream.contains('\xFF')) {
        const QList<LineInputItem> plain = input.stream.isEmpty()
                                               ? QList<LineInputItem>{}
                                               : QList<LineInputItem>{input.stream.toByteArray()};
        KESTRUNE_FUZZ_CHECK(whole == plain);
    }

    Marked marked = mark(input.stream);
    const QList<LineInputItem> expected = marked.expected.take();
    KESTRUNE_FUZZ_CHECK(decode_reads(reads(marked.line, input.lengths)) == expected);
    return 0;
}
