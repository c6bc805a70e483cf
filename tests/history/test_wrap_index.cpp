// SPDX-License-Identifier: MIT
#include "history/text_layout.h"
#include "history/text_store.h"
#include "history/wrap_index.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;
using namespace kestrune;

namespace {

// Widths that differ per character, so that breaks fall in different places.
qreal test_width(char16_t c)
{
    if (c == u' ')
        return 1;
    if (c >= u'a' && c <= u'z')
        return 1 + (c % 3) * 0.5;
    if (c >= 0x2400 && c < 0x2440)
        return 2;
    if (c >= 0x4E00 && c < 0xA000)
        return 3;
    return 1.25;
}

CharWidths test_widths()
{
    return CharWidths(test_width, 4);
}

bool is_ideograph(char16_t c)
{
    return (c >= 0x2E80 && c < 0xA000) || (c >= 0xAC00 && c < 0xD7A4) || (c >= 0xF900 && c < 0xFB00)
           || (c >= 0xFF00 && c < 0xFFF0);
}

// Greedy word wrap written the plain way: measure each line from its start and
// pick its end.
QList<qint64> reference_wrap(const QString &text, const CharWidths &widths, qreal width)
{
    QList<qint64> starts{0};
    const qint64 n = text.size();
    qint64 s = 0;
    for (;;) {
        qreal x = 0;
        qint64 last_break = -1;
        qint64 next = -1;
        for (qint64 p = s; p < n && next < 0; ++p) {
            const char16_t c = text.at(p).unicode();
            const bool joins = c >= 0xDC00 && c < 0xE000;
            if (p - s >= LineBreaker::max_line_chars && c != u'\r' && c != u'\n' && !joins) {
                next = p;
            } else if (c == u'\r') {
                next = (p + 1 < n && text.at(p + 1) == u'\n') ? p + 2 : p + 1;
            } else if (c == u'\n') {
                next = p + 1;
            } else if (c == u' ') {
                x += widths.advance(c);
                last_break = p + 1;
            } else if (c == u'\t') {
                x = (std::floor(x / widths.tab_distance()) + 1) * widths.tab_distance();
                last_break = p + 1;
            } else {
                if (is_ideograph(c) && p > s)
                    last_break = p;
                const qreal w = widths.advance(c);
                if (x + w > width && p > s && !joins) {
                    next = last_break > s ? last_break : p;
                } else {
                    x += w;
                    if (is_ideograph(c))
                        last_break = p + 1;
                }
            }
        }
        if (next < 0)
            return starts;
        starts.append(next);
        s = next;
    }
}

QList<qint64> index_lines(const WrapIndex &index)
{
    QList<qint64> starts;
    for (qint64 i = 0; i < index.line_count(); ++i)
        starts.append(index.line_start(i));
    return starts;
}

void wrap_all(WrapIndex &index, qint64 budget)
{
    for (int guard = 0; !index.wrap(budget); ++guard)
        QVERIFY(guard < 1000000);
}

QString hex_stream(int bytes)
{
    QString s;
    for (int i = 0; i < bytes; ++i)
        s += QString::number(i % 256, 16).toUpper().rightJustified(2, u'0') + u' ';
    return s;
}

} // namespace

class TestWrapIndex : public QObject
{
    Q_OBJECT
private:
    static void add_texts()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qreal>("width");
        const QList<std::pair<const char *, QString>> texts = {
            {"words", u"the quick brown fox jumps over the lazy dog and then some more words"_s},
            {"long word", u"abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz end"_s},
            {"hex stream", hex_stream(120)},
            {"line breaks", u"ab\r\ncd\ref\ngh\r\r\n\n\rx\n\r"_s},
            {"trailing CR", u"abc def\r"_s},
            {"tabs", u"a\tbb\tccc\tdddd\tee ff\t\tgg"_s},
            {"space runs", u"   a      b        c   dd  "_s},
            {"chinese", u"中文字符测试 mixed 中文English单词，再来一段很长的中文没有空格的文字"_s},
            {"surrogate pairs", u"a😀b😀😀c 😀😀😀😀😀😀"_s},
            {"controls", u"\x01\x02abc\x1b[0m\x7f zz"_s},
        };
        const QList<qreal> widths = {0.5, 3, 7.5, 12, 40, 1000};
        for (const auto &[name, text] : texts)
            for (const qreal width : widths)
                QTest::addRow("%s, width %g", name, width) << text << width;
    }

private Q_SLOTS:
    // Characters of no width (controls drawn as nothing) still end lines, so an
    // append never re-wraps more than one bounded line.
    void zero_width_runs_end_lines()
    {
        const CharWidths widths(test_width, 4, false); // a font without control pictures
        QCOMPARE(widths.advance(u'\x05'), 0.0);
        const QString piece(64, QChar(0x05));
        MemoryHistory store;
        WrapIndex index(store, widths);
        index.set_width(12);
        QString text;
        for (int i = 0; i < 300; ++i) {
            const qint64 old = store.size();
            store.append(piece);
            index.text_replaced(old, 0, piece.size());
            text += piece;
            wrap_all(index, 1 << 20);
        }
        QCOMPARE(index_lines(index), reference_wrap(text, widths, 12));
        QCOMPARE(index.line_count(), text.size() / LineBreaker::max_line_chars + 1);
    }

    void at_once_data() { add_texts(); }
    void at_once()
    {
        QFETCH(QString, text);
        QFETCH(qreal, width);
        const CharWidths widths = test_widths();
        MemoryHistory store;
        WrapIndex index(store, widths);
        index.set_width(width);
        store.append(text);
        index.text_replaced(0, 0, text.size());
        wrap_all(index, 1 << 20);
        QCOMPARE(index_lines(index), reference_wrap(text, widths, width));
    }

    // Appends in pieces, and slices of wrapping that stop anywhere, give the same lines.
    void in_pieces_data() { add_texts(); }
    void in_pieces()
    {
        QFETCH(QString, text);
        QFETCH(qreal, width);
        const CharWidths widths = test_widths();
        const QList<qint64> expected = reference_wrap(text, widths, width);
        for (const int piece : {1, 2, 3, 7}) {
            for (const qint64 budget : {qint64(1), qint64(5), qint64(1) << 20}) {
                MemoryHistory store;
                WrapIndex index(store, widths, piece == 1 ? 4 : 8192, piece == 1 ? 10 : 1 << 16);
                index.set_width(width);
                for (qsizetype at = 0; at < text.size(); at += piece) {
                    const QStringView part = QStringView(text).mid(at, piece);
                    const qint64 old = store.size();
                    store.append(part);
                    index.text_replaced(old, 0, part.size());
                    if (at % (3 * piece) == 0)
                        index.wrap(budget); // leave some wrapping for later appends
                }
                wrap_all(index, budget);
                QCOMPARE(index_lines(index), expected);
            }
        }
    }

    // A new width wraps everything again.
    void width_change()
    {
        const CharWidths widths = test_widths();
        const QString text = hex_stream(300) + u"\r\nwords after the stream\r\n"_s;
        MemoryHistory store;
        store.append(text);
        WrapIndex index(store, widths);
        index.set_width(9);
        index.text_replaced(0, 0, text.size());
        wrap_all(index, 1 << 20);
        for (const qreal width : {30.0, 2.0, 17.5}) {
            index.set_width(width);
            QVERIFY(!index.complete());
            wrap_all(index, 100);
            QCOMPARE(index_lines(index), reference_wrap(text, widths, width));
        }
    }

    // Edits anywhere: lines kept after the change must be taken back only where they still hold.
    void edits_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<qreal>("width");
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<qint64>("spacing"); // marks every so many characters, the tail three times that
        for (const qint64 spacing : {qint64(8192), qint64(16), qint64(3)}) {
            const auto row = [&](const char *name, quint32 seed, qreal width, qint64 budget) {
                QTest::addRow("%s, marks every %lld", name, qlonglong(spacing))
                    << seed << width << budget << spacing;
            };
            row("narrow, whole wraps", 1, 6, qint64(1) << 20);
            row("wide, whole wraps", 2, 25, qint64(1) << 20);
            row("narrow, small slices", 3, 6, 7);
            row("wide, small slices", 4, 25, 3);
            row("very narrow", 5, 2.5, qint64(1) << 20);
            row("medium, slices", 6, 11, 20);
        }
    }
    void edits()
    {
        QFETCH(quint32, seed);
        QFETCH(qreal, width);
        QFETCH(qint64, budget);
        QFETCH(qint64, spacing);
        const CharWidths widths = test_widths();
        QRandomGenerator random(seed);
        const QString alphabet = u"abc  de\r\n\t中f\rgh"_s;
        auto piece = [&](int n) {
            QString s;
            for (int i = 0; i < n; ++i) {
                if (random.bounded(6) == 0)
                    s += QString(int(random.bounded(4, 16)), QChar(char16_t(u'a' + random.bounded(26))));
                else
                    s += alphabet.at(random.bounded(int(alphabet.size())));
            }
            return s;
        };
        QString reference = hex_stream(60) + piece(200);
        MemoryHistory store;
        store.append(reference);
        WrapIndex index(store, widths, spacing, 3 * spacing);
        index.set_width(width);
        index.text_replaced(0, 0, reference.size());
        wrap_all(index, budget);
        for (int step = 0; step < 3000; ++step) {
            const qint64 pos = random.bounded(int(reference.size()) + 1);
            const qint64 removed = std::min<qint64>(random.bounded(4) == 0 ? random.bounded(30) : 0,
                                                    reference.size() - pos);
            const QString inserted = piece(random.bounded(3) == 0 ? 0 : int(random.bounded(8)));
            store.remove(pos, removed);
            store.insert(pos, inserted);
            reference.remove(pos, removed);
            reference.insert(pos, inserted);
            index.text_replaced(pos, removed, inserted.size());
            // Sometimes a second change arrives before the first is wrapped.
            if (random.bounded(4) != 0)
                wrap_all(index, budget);
            else
                index.wrap(budget);
        }
        wrap_all(index, budget);
        const QList<qint64> expected = reference_wrap(reference, widths, width);
        QCOMPARE(index_lines(index), expected);
        for (qsizetype line = 0; line < expected.size(); line += 7)
            QCOMPARE(index.line_of(expected.at(line)), line);
    }

    // The layout answers which line starts where, from the index once it is
    // complete and by wrapping on the fly while it is not, the same either way.
    void layout_data()
    {
        QTest::addColumn<qreal>("width");
        QTest::addColumn<qint64>("budget"); // wrapped before asking; the whole text when large
        for (const qreal width : {3.0, 11.0, 40.0})
            for (const qint64 budget : {qint64(0), qint64(700), qint64(1) << 20})
                QTest::addRow("width %g, %lld wrapped", width, qlonglong(budget)) << width << budget;
    }
    void layout()
    {
        QFETCH(qreal, width);
        QFETCH(qint64, budget);
        const CharWidths widths = test_widths();
        const QString text = hex_stream(400) + u"\r\nab cd\r\n\r\n中文字符 words\rend\n"_s + hex_stream(300);
        MemoryHistory store;
        store.append(text);
        TextLayout layout(store, widths);
        layout.index().set_width(width);
        layout.index().reset(store.size());
        if (budget > 0)
            layout.index().wrap(budget);
        const QList<qint64> lines = reference_wrap(text, widths, width);
        const auto last = qint64(lines.size()) - 1;
        for (qint64 i = 0; i <= last; ++i) {
            const qint64 start = lines.at(i);
            const qint64 end = i < last ? lines.at(i + 1) : text.size();
            for (qint64 pos = start; pos < end; pos += 3)
                QCOMPARE(layout.line_start_of(pos), start);
            QCOMPARE(layout.next_line(start), i < last ? lines.at(i + 1) : -1);
            QCOMPARE(layout.lines_after(start, 5), lines.at(std::min(i + 5, last)));
            QCOMPARE(layout.lines_before(start, 5), lines.at(std::max<qint64>(i - 5, 0)));
            const TextLayout::LineSpan span = layout.span(start);
            const QString line = text.mid(start, end - start);
            const bool broken = line.endsWith(u'\n') || line.endsWith(u'\r');
            QCOMPARE(span.soft, i < last && !broken);
            QCOMPARE(span.content_end, end - (line.endsWith(u"\r\n"_s) ? 2 : broken ? 1 : 0));
        }
        if (layout.index().complete()) {
            QCOMPARE(layout.total_lines(), lines.size());
            for (qint64 i = 0; i <= last; i += 9)
                QCOMPARE(layout.start_of_line_number(i), lines.at(i));
        }
        // The pen walks a line to a position and back.
        const qint64 start = lines.at(1);
        bool at_end = false;
        const TextLayout::LineSpan span = layout.span(start);
        for (qint64 pos = start; pos < span.content_end; ++pos)
            QCOMPARE(layout.pos_in_line(span, layout.x_in_line(start, pos) + 0.01, at_end), pos);
    }

    // A line of positions holds no more than what the blocks need.
    void line_starts_blocks()
    {
        LineStarts starts;
        for (qint64 i = 0; i < 100000; ++i)
            starts.push_back(i * 40 + (i % 3));
        QCOMPARE(starts.size(), 100000);
        QCOMPARE(starts.at(54321), 54321 * 40 + 0);
        QCOMPARE(starts.last_at_or_before(54321 * 40 + 39), 54321);
        QCOMPARE(starts.last_at_or_before(-1), -1);
        LineStarts tail = starts.take_from(50000);
        QCOMPARE(starts.size(), 50000);
        QCOMPARE(tail.at(0), 50000 * 40 + 50000 % 3);
        starts.append_shifted(std::move(tail), 10, 7);
        QCOMPARE(starts.size(), 99990);
        QCOMPARE(starts.at(50000), 50010 * 40 + 50010 % 3 + 7);
        QCOMPARE(starts.back(), 99999 * 40 + 99999 % 3 + 7);
        QVERIFY(starts.heap_bytes() < 99990 * 5);
        // An offset too far for 32 bits starts a new block.
        starts.push_back(starts.back() + (qint64(1) << 33));
        QCOMPARE(starts.last_at_or_before(starts.back() - 1), 99989);
        QCOMPARE(starts.last_at_or_before(starts.back()), 99990);
    }
};

QTEST_APPLESS_MAIN(TestWrapIndex)
#include "test_wrap_index.moc"
