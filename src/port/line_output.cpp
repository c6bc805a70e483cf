// SPDX-License-Identifier: MIT
#include "port/line_output.h"

#include <QElapsedTimer>

#include <utility>

namespace kestrune {

LineOutput::LineOutput(platform::Line &line, int timeout_ms, QObject *parent)
    : QObject(parent)
    , line_(line)
    , room_(line.output_descriptor(), QSocketNotifier::Write, this)
{
    room_.setEnabled(false);
    connect(&room_, &QSocketNotifier::activated, this, &LineOutput::write_some);
    retry_.setSingleShot(true);
    retry_.setInterval(retry_ms);
    connect(&retry_, &QTimer::timeout, this, &LineOutput::write_some);
    stall_.setSingleShot(true);
    stall_.setInterval(timeout_ms);
    connect(&stall_, &QTimer::timeout, this, &LineOutput::end_stalled_send);
    report_turn_.setSingleShot(true);
    report_turn_.setInterval(report_ms);
    connect(&report_turn_, &QTimer::timeout, this, &LineOutput::report);
}

void LineOutput::add(QByteArray bytes)
{
    if (bytes.isEmpty())
        return;
    sends_.push_back(std::move(bytes));
    room_.setEnabled(true); // the first bytes leave at the next turn of the loop
}

qint64 LineOutput::take_unreported()
{
    report_turn_.stop();
    return std::exchange(unreported_, 0);
}

void LineOutput::write_some()
{
    QElapsedTimer turn;
    turn.start();
    const qint64 before = unreported_;
    // Leaves with bytes still to write, to come back when room is signalled or at
    // the next retry. The stall counts from the last byte written (to within a turn).
    const auto pause = [&] {
        const bool progressed = unreported_ != before;
        retry_.start();
        if (progressed || !stall_.isActive())
            stall_.start();
        if (progressed && !report_turn_.isActive())
            report_turn_.start();
    };
    while (!sends_.empty()) {
        const QByteArray &send = sends_.front();
        bool ended = false;
        while (offset_ < send.size() && !ended) {
            switch (line_.write_byte(quint8(send[offset_]))) {
            case platform::Line::Write::written:
                ++offset_;
                ++unreported_;
                break;
            case platform::Line::Write::full:
                pause(); // the room notifier stays on
                return;
            case platform::Line::Write::failed:
                ended = true; // the rest of this send is dropped whole
                break;
            }
            if (!ended && offset_ < send.size() && turn.hasExpired(turn_ms)) {
                pause(); // other events take their turn; the notifier brings us back
                return;
            }
        }
        sends_.pop_front();
        offset_ = 0;
    }
    room_.setEnabled(false);
    retry_.stop();
    stall_.stop();
    if (unreported_ != before && !report_turn_.isActive())
        report_turn_.start();
}

void LineOutput::end_stalled_send()
{
    if (sends_.empty())
        return;
    // The byte was not taken in time: the rest of its send is dropped, never a byte
    // in the middle. The next send tries at once and gets its own time-out.
    sends_.pop_front();
    offset_ = 0;
    write_some();
}

void LineOutput::report()
{
    if (unreported_ != 0)
        Q_EMIT written(std::exchange(unreported_, 0));
}

} // namespace kestrune
