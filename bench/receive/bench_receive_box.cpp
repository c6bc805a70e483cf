// SPDX-License-Identifier: MIT
// The receive box under load, without a line: bytes go straight into the
// handler in chunks, the box is shown offscreen and the event loop runs every
// 16 ms, so the box paints as often as it does in the window. Optional
// argument: the number of characters of the big text (default 100 million).
// Prints medians and ratios; the targets are in the labels.
// With --hours N [read] instead: a long capture of N hours of a 460800-baud line
// in HEX mode, fed at full speed in reads of 4096 bytes (or read), then a jump
// to the top, resizes and saves of it.

#include "bench_common.h"
#include "text/gbk.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTemporaryDir>

#include <memory>

using namespace Qt::StringLiterals;
using namespace bench;

namespace {

QString hex_text(qsizetype chars)
{
    QString piece;
    for (int i = 0; i < 256; ++i)
        piece += QString::number(i, 16).toUpper().rightJustified(2, u'0') + u' ';
    QString text;
    text.reserve(chars);
    while (text.size() < chars)
        text += piece;
    text.truncate(chars);
    return text;
}

// Fills the box with HEX text in pieces of a million characters.
void fill(ReceiveArea &area, qint64 chars)
{
    area.box->clear();
    const QString piece = hex_text(1'000'002); // whole bytes, so the pieces line up
    for (qint64 done = 0; done < chars; done += piece.size())
        area.box->append_to_receive_box(QStringView(piece).left(qsizetype(std::min<qint64>(piece.size(), chars - done))));
    QCoreApplication::processEvents();
}

// Seconds to feed bytes in chunks of `chunk`, with the event loop run every 16 ms.
double feed(ReceiveArea &area, const QByteArray &bytes, qsizetype chunk)
{
    const auto start = clock_type::now();
    auto painted = start;
    for (qsizetype at = 0; at < bytes.size(); at += chunk) {
        area.handler.on_byte_received(QByteArrayView(bytes).sliced(at, std::min(chunk, bytes.size() - at)));
        if (clock_type::now() - painted > std::chrono::milliseconds(16)) {
            QCoreApplication::processEvents();
            painted = clock_type::now();
        }
    }
    QCoreApplication::processEvents();
    return seconds_since(start);
}

// Median seconds per MB of received HEX bytes with the box holding `held`
// characters at the start of each MB; the held text grows by what is fed.
double per_mb_with_big(ReceiveArea &area, qint64 held)
{
    const QByteArray mb = byte_pattern(1 << 20);
    area.hex = true;
    fill(area, held);
    std::vector<double> samples;
    for (int i = 0; i < 5; ++i)
        samples.push_back(feed(area, mb, 64));
    return median(samples);
}

// The same with a small text: a fresh box for every MB, kept in areas, so that
// every sample takes new memory as the big box does.
double per_mb_with_small(qint64 held, std::vector<std::unique_ptr<ReceiveArea>> &areas)
{
    const QByteArray mb = byte_pattern(1 << 20);
    std::vector<double> samples;
    for (int i = 0; i < 5; ++i) {
        areas.push_back(std::make_unique<ReceiveArea>());
        ReceiveArea &area = *areas.back();
        area.count_once_a_frame = true;
        fill(area, held);
        samples.push_back(feed(area, mb, 64));
    }
    return median(samples);
}

qint64 peak_resident_bytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    return 0;
}

// Seconds until the box has painted after something was done to it.
template <typename Act>
double until_painted(ReceiveArea &area, Act act)
{
    QCoreApplication::processEvents();
    const auto start = clock_type::now();
    act();
    area.box->viewport()->repaint();
    return seconds_since(start);
}

// The longest the event loop is held while a resize is wrapped again, in
// seconds, and the CPU time the process spent in that stretch (less when the
// machine gave the time to others).
double resize_freeze(ReceiveArea &area, int width, double &total, double &longest_cpu)
{
    const auto start = clock_type::now();
    double cpu = cpu_seconds();
    area.box->resize(width, area.box->height());
    area.box->viewport()->repaint();
    double longest = seconds_since(start);
    longest_cpu = cpu_seconds() - cpu;
    while (!area.box->wrapping_done()) {
        const auto step = clock_type::now();
        cpu = cpu_seconds();
        QCoreApplication::processEvents();
        const double took = seconds_since(step);
        if (took > longest) {
            longest = took;
            longest_cpu = cpu_seconds() - cpu;
        }
    }
    QCoreApplication::processEvents();
    total = seconds_since(start);
    return longest;
}

int long_capture(double hours, qsizetype read)
{
    constexpr double line_rate = 46080; // bytes a second at 460800 baud
    ReceiveArea area;
    area.count_once_a_frame = true;
    QCoreApplication::processEvents();
    const qint64 total = qint64(hours * 3600 * line_rate);
    const QByteArray block = byte_pattern(16 << 20);
    std::printf("long capture: %g hours of a 460800-baud line, %lld bytes in HEX mode, fed in reads of %lld bytes as fast "
                "as the box takes them, offscreen %d x %d\n",
                hours, qlonglong(total), qlonglong(read), area.box->width(), area.box->height());
    const qint64 rss_start = resident_bytes();
    const auto start = clock_type::now();
    auto painted = start;
    double cpu_start = cpu_seconds();
    for (qint64 at = 0; at < total;) {
        const auto offset = qsizetype(at % block.size());
        const qsizetype n = qsizetype(std::min<qint64>({read, block.size() - offset, total - at}));
        area.handler.on_byte_received(QByteArrayView(block).sliced(offset, n));
        at += n;
        if (clock_type::now() - painted > std::chrono::milliseconds(16)) {
            QCoreApplication::processEvents();
            painted = clock_type::now();
        }
    }
    QCoreApplication::processEvents();
    const double fed_s = seconds_since(start);
    const double cpu_s = cpu_seconds() - cpu_start;
    const qint64 rss_end = resident_bytes();
    const qint64 chars = area.box->text_length();
    std::printf("fed in %.1f s: %.1f MB/s, %.3f CPU s per MB; the box holds %lld characters\n", fed_s,
                double(total) / (1 << 20) / fed_s, cpu_s / (double(total) / (1 << 20)), qlonglong(chars));
    std::printf("resident memory (VmRSS): %.1f MB at the start, %.1f MB at the end, peak (VmHWM) %.1f MB; the box's "
                "text and line index hold %.1f MB of it\n",
                double(rss_start) / (1 << 20), double(rss_end) / (1 << 20), double(peak_resident_bytes()) / (1 << 20),
                double(area.box->heap_bytes()) / (1 << 20));
    std::printf("history on disk: %.3f bytes per character (%.0f MB)\n",
                double(area.box->disk_bytes()) / double(chars), double(area.box->disk_bytes()) / (1 << 20));

    // Jumps: the keys, and the scroll bar dragged.
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::ControlModifier);
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QKeyEvent page_down(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QScrollBar *bar = area.box->verticalScrollBar();
    std::vector<double> to_top, to_middle, pages;
    for (int i = 0; i < 5; ++i) {
        to_top.push_back(until_painted(area, [&] { QCoreApplication::sendEvent(area.box, &home); }));
        pages.push_back(until_painted(area, [&] { QCoreApplication::sendEvent(area.box, &page_down); }));
        until_painted(area, [&] { QCoreApplication::sendEvent(area.box, &end); });
        to_middle.push_back(until_painted(area, [&] { bar->setValue(bar->maximum() / 2 + i); }));
        until_painted(area, [&] { bar->setValue(bar->maximum()); });
    }
    std::printf("painted after Ctrl+Home %.1f ms (target < 50), after Page Down there %.1f ms, after the scroll bar "
                "was dragged to the middle %.1f ms; medians of 5\n",
                median(to_top) * 1e3, median(pages) * 1e3, median(to_middle) * 1e3);

    // Resizes wrap everything again, on screen first and the rest in slices.
    for (const int width : {250, 296}) {
        double all = 0;
        double cpu = 0;
        const double freeze = resize_freeze(area, width, all, cpu);
        std::printf("resize to %d px: longest freeze %.1f ms (target < 50; the process ran %.1f ms of it); all lines "
                    "wrapped again after %.1f s\n",
                    width, freeze * 1e3, cpu * 1e3, all);
    }

    // Saves stream from the history's file.
    QTemporaryDir dir;
    for (const QString &target : {dir.filePath(u"receive.txt"_s), u"/dev/shm/kestrune-bench.txt"_s, u"/dev/null"_s}) {
        QFile file(target);
        const auto save_start = clock_type::now();
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        area.box->write_gbk(file);
        file.close();
        const double s = seconds_since(save_start);
        std::printf("save to %s: %.1f s, %.0f MB/s (target >= 300)\n",
                    qPrintable(target == dir.filePath(u"receive.txt"_s) ? u"a new file on disk (page cache, no sync)"_s : target), s,
                    double(chars) / (1 << 20) / s);
        if (target != u"/dev/null"_s)
            QFile::remove(target);
    }
    std::printf("resident memory at the end: %.1f MB, peak %.1f MB\n", double(resident_bytes()) / (1 << 20),
                double(peak_resident_bytes()) / (1 << 20));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "--hours")
        return long_capture(QByteArray(argv[2]).toDouble(), argc > 3 ? QByteArray(argv[3]).toLongLong() : 4096);
    ReceiveArea area;
    area.count_once_a_frame = true; // the box's own cost: the count box is the app's
    QCoreApplication::processEvents();
    const qint64 big = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100'000'000;

    std::printf("receive box, offscreen, %d x %d, font %s %gpt; count box set at most once a frame\n",
                area.box->width(), area.box->height(), qPrintable(area.box->font().family()),
                area.box->font().pointSizeF());

    // Append cost with a small text first; its boxes stay, so that no memory
    // they free is taken again by what follows.
    std::vector<std::unique_ptr<ReceiveArea>> small_areas;
    const double per_mb_small = per_mb_with_small(1'000'000, small_areas);

    // Memory per stored ASCII character.
    area.box->clear();
    QCoreApplication::processEvents();
    const qint64 base = resident_bytes();
    const auto fill_start = clock_type::now();
    fill(area, big);
    const double fill_s = seconds_since(fill_start);
    const qint64 grown = resident_bytes() - base;
    std::printf("filled with %lld HEX characters in %.2f s\n", qlonglong(area.box->text_length()), fill_s);
    std::printf("memory: %.3f resident bytes per character beyond the base (target <= 1.3); "
                "store and index hold %.3f\n",
                double(grown) / double(big), double(area.box->heap_bytes()) / double(area.box->text_length()));

    // Append cost with the big text held (compared with a small one below).
    const double per_mb_big = per_mb_with_big(area, big);

    // A resize with the big text held: the longest time the event loop is held.
    std::vector<double> freezes;
    std::vector<double> totals;
    for (const int width : {250, 296, 220}) {
        const auto start = clock_type::now();
        area.box->resize(width, area.box->height());
        double longest = seconds_since(start);
        while (!area.box->wrapping_done()) {
            const auto step = clock_type::now();
            QCoreApplication::processEvents();
            longest = std::max(longest, seconds_since(step));
        }
        QCoreApplication::processEvents();
        freezes.push_back(longest);
        totals.push_back(seconds_since(start));
    }
    std::printf("resize with %lldM characters: longest freeze %.1f ms (target < 50), median of 3 resizes; "
                "all lines wrapped again after %.2f s\n",
                qlonglong(area.box->text_length() / 1'000'000), median(freezes) * 1e3, median(totals));
    std::printf("  freezes of the 3 resizes: %.1f %.1f %.1f ms\n", freezes[0] * 1e3, freezes[1] * 1e3, freezes[2] * 1e3);

    // Saving.
    QTemporaryDir dir;
    std::vector<double> saves;
    for (int i = 0; i < 3; ++i) {
        QFile file(dir.filePath(u"receive.txt"_s));
        const auto start = clock_type::now();
        file.open(QIODevice::WriteOnly);
        area.box->write_gbk(file);
        file.close();
        saves.push_back(seconds_since(start));
        file.remove();
    }
    std::printf("write_gbk of %lldM characters to a file (page cache, no sync): %.3f s (target < 1), median of 3\n",
                qlonglong(area.box->text_length() / 1'000'000), median(saves));
    std::printf("append, HEX, 64-byte chunks: %.1f ms per MB with 1M characters held, %.1f ms with %lldM; "
                "ratio %.2f (target <= 1.5)\n",
                per_mb_small * 1e3, per_mb_big * 1e3, qlonglong(big / 1'000'000), per_mb_big / per_mb_small);

    // Throughput of handler and box alone, from an empty box.
    for (const qsizetype chunk : {qsizetype(64), qsizetype(1024)}) {
        for (const bool hex : {true, false}) {
            const QByteArray bytes = hex ? byte_pattern(8 << 20) : text_pattern(16 << 20);
            std::vector<double> rates;
            for (int i = 0; i < 3; ++i) {
                area.box->clear();
                area.hex = hex;
                rates.push_back(double(bytes.size()) / (1 << 20) / feed(area, bytes, chunk));
            }
            std::printf("throughput %s mode, %4lld-byte chunks: %7.1f MB/s of received bytes (median of 3)\n",
                        hex ? "HEX " : "text", qlonglong(chunk), median(rates));
        }
    }

    return 0;
}
