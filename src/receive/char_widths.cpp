#include "receive/char_widths.h"

#include "text/gbk.h"

#include <QDataStream>
#include <QIODevice>
#include <QFontMetricsF>

#include <atomic>
#include <cmath>
#include <thread>

namespace kestrune {

// Advances measured ahead by a worker thread of its own, with a font of its own;
// the last owner stops the worker and waits for it.
struct CharWidths::AheadTable
{
    std::array<std::atomic<float>, 0x10000> advances; // negative until measured
    std::atomic<bool> done{false};
    std::atomic<bool> stop{false};
    std::thread worker;

    AheadTable()
    {
        for (std::atomic<float> &advance : advances)
            advance.store(-1.0f, std::memory_order_relaxed);
    }
    ~AheadTable()
    {
        stop.store(true);
        if (worker.joinable())
            worker.join();
    }

    void measure(const QFont &font)
    {
        const QFontMetricsF metrics(font);
        const auto take = [&](char16_t c) {
            if (c >= 0x100 && (c < 0xD800 || c >= 0xE000) && advances[c].load(std::memory_order_relaxed) < 0)
                advances[c].store(float(metrics.horizontalAdvance(QChar(c))), std::memory_order_release);
        };
        take(u'\uFFFD'); // what bytes that spell no character show
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (stop.load(std::memory_order_relaxed))
                    return;
                take(gbk_pair(quint8(lead), quint8(trail)));
            }
        }
        done.store(true, std::memory_order_release);
    }
};

namespace {

// A font equal to `font` that shares nothing with it: QFont copies share a
// private part that each thread's font cache rewrites when it draws.
QFont separate_font(const QFont &font)
{
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << font;
    }
    QDataStream in(bytes);
    QFont copy;
    in >> copy;
    return copy;
}

} // namespace

CharWidths::CharWidths(Measure measure, qreal tab_distance, bool control_pictures)
    : measure_(std::move(measure)), tab_distance_(tab_distance), control_pictures_(control_pictures),
      wide_(0x10000, -1.0f)
{
    for (int c = 0; c < 0x100; ++c) {
        const char16_t drawn = shown(char16_t(c));
        const bool blank = drawn == 0 || drawn == u'\t' || drawn == u'\n' || drawn == u'\r';
        latin1_[std::size_t(c)] = blank ? 0.0f : float(measure_(drawn));
    }
}

CharWidths CharWidths::of_font(const QFont &font)
{
    const QFontMetricsF metrics(font);
    CharWidths widths([metrics](char16_t c) { return metrics.horizontalAdvance(QChar(c)); },
                      8 * metrics.averageCharWidth(), metrics.inFont(QChar(0x2401)));
    widths.ahead_ = std::make_shared<AheadTable>();
    widths.ahead_->worker = std::thread(&AheadTable::measure, widths.ahead_.get(), separate_font(font));
    return widths;
}

bool CharWidths::measured_ahead() const
{
    return ahead_ && ahead_->done.load(std::memory_order_acquire);
}

float CharWidths::measure_wide(char16_t c) const
{
    if (c >= 0xDC00 && c < 0xE000)
        return 0.0f;
    if (c >= 0xD800 && c < 0xDC00)
        c = u'\uFFFD';
    if (ahead_) {
        if (const float ahead = ahead_->advances[c].load(std::memory_order_acquire); ahead >= 0)
            return ahead;
    }
    return float(measure_(c));
}

qreal CharWidths::next_tab_stop(qreal x) const
{
    if (tab_distance_ <= 0)
        return x + latin1_[u' '];
    return (std::floor(x / tab_distance_) + 1) * tab_distance_;
}

} // namespace kestrune
