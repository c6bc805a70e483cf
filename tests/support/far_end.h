// SPDX-License-Identifier: MIT
#pragma once
// The far end of a pty pair on a thread of its own, as a board reads its serial
// port: as fast as bytes come, or at a set pace, and it can stop reading for a
// while (a board halted in a debugger).

#include <QByteArray>
#include <QByteArrayView>
#include <QMutex>

#include <atomic>
#include <thread>

namespace kestrune::test {

class FarEnd
{
public:
    // Reads `master`; a pace of 0 bytes per second reads as fast as it can.
    explicit FarEnd(int master, int bytes_per_second = 0);
    ~FarEnd(); // stops reading
    FarEnd(const FarEnd &) = delete;
    FarEnd &operator=(const FarEnd &) = delete;

    void stop_reading() { reading_ = false; }
    void start_reading() { reading_ = true; }
    void set_pace(int bytes_per_second) { pace_ = bytes_per_second; }
    QByteArray received() const;
    qsizetype received_size() const;

private:
    void run(int master);

    std::atomic<bool> reading_{true};
    std::atomic<int> pace_;
    std::atomic<bool> ending_{false};
    mutable QMutex mutex_;
    QByteArray received_;
    std::thread thread_;
};

// How many first parts of `send` (whole or cut short), one after the other, make
// up `got`; -1 when `got` is not made that way (a byte missing or out of place).
int first_parts(QByteArrayView got, QByteArrayView send);

} // namespace kestrune::test
