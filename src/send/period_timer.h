// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

namespace kestrune {

// The timer control 时钟1: a period in milliseconds, 0 meaning stopped. Ticks
// that fall due while the thread is busy come once it is free, one at most.
class PeriodTimer : public QObject
{
    Q_OBJECT
public:
    explicit PeriodTimer(QObject *parent = nullptr);

    // Negative is stored as 0; the current value changes nothing; any other
    // value restarts the countdown from now (0 leaves the timer stopped).
    void set_period(int ms);
    int period() const;

Q_SIGNALS:
    void tick();

private:
    QTimer timer_{this};
};

} // namespace kestrune
