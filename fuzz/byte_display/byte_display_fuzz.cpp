// SPDX-License-Identifier: MIT
// The receive box's decoders fed the same bytes in arbitrary reads, as a live line
// delivers them: what shows may not depend on where the reads split the stream.

#include "fuzz_support.h"
#include "history/byte_display.h"
#include "text/gbk.h"

#include <algorithm>

using namespace kestrune;
using namespace kestrune::fuzz;

namespace {

struct TextRun
{
    QString shown;
    int pending = 0;
    LeadByteStore store;
};

bool holds_lead(const TextRun &run)
{
    return run.pending != 0 && run.store && (*run.store)[0] >= 0x80;
}

// The text display of reads in order, each call checked against its own contract.
TextRun show_text(const QList<QByteArrayView> &pieces)
{
    TextRun run;
    for (const QByteArrayView piece : pieces) {
        const bool held_before = holds_lead(run);
        const qsizetype before = run.shown.size();
        const bool touched = append_text_display(piece, run.pending, run.store, run.shown);
        // Untouched exactly when no byte came, or the one byte became the held lead.
        const bool only_held = piece.isEmpty() || (!held_before && piece.size() == 1 && quint8(piece[0]) >= 0x80);
        KESTRUNE_FUZZ_CHECK(touched == !only_held);
        // A character per byte at most, and one U+FFFD for a lead held from before.
        KESTRUNE_FUZZ_CHECK(run.shown.size() - before <= piece.size() + (held_before ? 1 : 0));
        KESTRUNE_FUZZ_CHECK(run.pending == 0 || holds_lead(run));
    }
    return run;
}

bool is_upper_hex_digit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

void check_text(const SplitInput &input)
{
    const QByteArrayView stream = input.stream;
    const TextRun whole = show_text({stream});
    const TextRun split = show_text(reads(stream, input.lengths));
    KESTRUNE_FUZZ_CHECK(split.shown == whole.shown);
    KESTRUNE_FUZZ_CHECK(split.pending == whole.pending);
    KESTRUNE_FUZZ_CHECK(whole.shown.size() <= stream.size());

    // 0x80 pairs with nothing: held in front of the stream it shows as U+FFFD, and
    // the stream after it shows as it would alone.
    if (!stream.isEmpty()) {
        const QByteArray led = "\x80" + stream.toByteArray();
        KESTRUNE_FUZZ_CHECK(show_text({led}).shown == u'\uFFFD' + whole.shown);
    }

    QByteArray without_nuls = stream.toByteArray();
    without_nuls.removeIf([](char b) { return b == 0; });
    if (std::none_of(stream.begin(), stream.end(), [](char b) { return quint8(b) >= 0x80; })) {
        KESTRUNE_FUZZ_CHECK(whole.shown == QString::fromLatin1(without_nuls));
        KESTRUNE_FUZZ_CHECK(whole.pending == 0);
    }
    // Without a U+FFFD every lead found its pair, so the text encodes back to the
    // bytes, less a lead still waiting at the end.
    if (!whole.shown.contains(u'\uFFFD')) {
        if (whole.pending != 0)
            without_nuls.chop(1);
        KESTRUNE_FUZZ_CHECK(to_gbk(whole.shown) == without_nuls);
    }
}

void check_hex(const SplitInput &input)
{
    QString whole;
    append_hex_display(input.stream, whole);
    QString split;
    for (const QByteArrayView piece : reads(input.stream, input.lengths))
        append_hex_display(piece, split);
    KESTRUNE_FUZZ_CHECK(split == whole);
    KESTRUNE_FUZZ_CHECK(whole.size() == 3 * input.stream.size());
    for (qsizetype i = 0; i < input.stream.size(); ++i) {
        const QStringView three = QStringView(whole).sliced(3 * i, 3);
        KESTRUNE_FUZZ_CHECK(is_upper_hex_digit(three[0]) && is_upper_hex_digit(three[1]) && three[2] == u' ');
        bool ok = false;
        KESTRUNE_FUZZ_CHECK(three.first(2).toUInt(&ok, 16) == quint8(input.stream[i]) && ok);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const SplitInput input = read_split_input(data, size);
    check_text(input);
    check_hex(input);
    return 0;
}
