// SPDX-License-Identifier: MIT
#include "send/period_timer.h"

#include <algorithm>

namespace kestrune {

PeriodTimer::PeriodTimer(QObject *parent)
    : QObject(parent)
{
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PeriodTimer::tick);
}

void PeriodTimer::set_period(int ms)
{
    ms = std::max(ms, 0);
    if (ms == period())
        return;
    timer_.stop();
    if (ms > 0)
        timer_.start(ms);
}

int PeriodTimer::period() const
{
    // The running QTimer is the one record of the period.
    return timer_.isActive() ? timer_.interval() : 0;
}

} // namespace kestrune
