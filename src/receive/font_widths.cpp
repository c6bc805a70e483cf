// SPDX-License-Identifier: MIT
#include "receive/font_widths.h"

#include "text/gbk.h"

#include <QDataStream>
#include <QFont>
#include <QFontMetricsF>
#include <QIODevice>

#include <array>
#include <atomic>
#include <thread>

namespace kestrune {

class AheadWidths
{
public:
    explicit AheadWidths(const QFont &font)
    {
        for (std::atomic<float> &advance : advances_)
            advance.store(-1.0f, std::memory_order_relaxed);
        worker_ = std::thread(&AheadWidths::measure, this, separate_font(font));
    }
    ~AheadWidths()
    {
        stop_.store(true);
        worker_.join();
    }
    AheadWidths(const AheadWidths &) = delete;
    AheadWidths &operator=(const AheadWidths &) = delete;

    // Negative until measured.
    float advance(char16_t c) const { return advances_[c].load(std::memory_order_acquire); }
    bool done() const { return done_.load(std::memory_order_acquire); }

private:
    // A font equal to `font` that shares nothing with it: QFont copies share a
    // private part that each thread's font cache rewrites when it draws.
    static QFont separate_font(const QFont &font)
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

    void measure(const QFont &font)
    {
        const QFontMetricsF metrics(font);
        const auto take = [&](char16_t c) {
            if (c >= 0x100 && (c < 0xD800 || c >= 0xE000) && advances_[c].load(std::memory_order_relaxed) < 0)
                advances_[c].store(float(metrics.horizontalAdvance(QChar(c))), std::memory_order_release);
        };
        take(u'\uFFFD'); // what bytes that spell no character show
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (stop_.load(std::memory_order_relaxed))
                    return;
                take(gbk_pair(quint8(lead), quint8(trail)));
            }
        }
        done_.store(true, std::memory_order_release);
    }

    std::array<std::atomic<float>, 0x10000> advances_;
    std::atomic<bool> done_{false};
    std::atomic<bool> stop_{false};
    std::thread worker_; // last, so it starts once the table is ready
};

std::shared_ptr<const AheadWidths> measure_ahead(const QFont &font)
{
    return std::make_shared<const AheadWidths>(font);
}

bool measured_ahead(const AheadWidths &ahead)
{
    return ahead.done();
}

CharWidths font_widths(const QFont &font, std::shared_ptr<const AheadWidths> ahead)
{
    const QFontMetricsF metrics(font);
    return CharWidths(
        [metrics, ahead = std::move(ahead)](char16_t c) -> qreal {
            if (ahead) {
                if (const float measured = ahead->advance(c); measured >= 0)
                    return measured;
            }
            return metrics.horizontalAdvance(QChar(c));
        },
        8 * metrics.averageCharWidth(), metrics.inFont(QChar(0x2401)));
}

} // namespace kestrune
