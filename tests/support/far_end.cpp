// SPDX-License-Identifier: MIT
#include "far_end.h"

#include <QElapsedTimer>
#include <QMutexLocker>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace kestrune::test {

FarEnd::FarEnd(int master, int bytes_per_second)
    : pace_(bytes_per_second)
    , thread_(&FarEnd::run, this, master)
{
}

FarEnd::~FarEnd()
{
    ending_ = true;
    thread_.join();
}

QByteArray FarEnd::received() const
{
    const QMutexLocker lock(&mutex_);
    return received_;
}

qsizetype FarEnd::received_size() const
{
    const QMutexLocker lock(&mutex_);
    return received_.size();
}

void FarEnd::run(int master)
{
    using namespace std::chrono_literals;
    QElapsedTimer clock;
    clock.start();
    qint64 paced = 0; // bytes read since the pace started
    int bytes_per_second = pace_;
    char chunk[65536];
    while (!ending_) {
        if (bytes_per_second != pace_) {
            bytes_per_second = pace_;
            clock.restart();
            paced = 0;
        }
        if (!reading_) {
            std::this_thread::sleep_for(5ms);
            clock.restart(); // a pause earns no bytes
            paced = 0;
            continue;
        }
        qint64 room = sizeof chunk;
        if (bytes_per_second > 0) {
            room = std::min(room, clock.elapsed() * bytes_per_second / 1000 - paced);
            if (room <= 0) {
                std::this_thread::sleep_for(5ms);
                continue;
            }
        }
        pollfd fd{master, POLLIN, 0};
        if (::poll(&fd, 1, 10) <= 0)
            continue;
        const ssize_t n = ::read(master, chunk, size_t(room));
        if (n <= 0) {
            if (fd.revents & POLLHUP)
                std::this_thread::sleep_for(5ms); // the slave side is closed for now
            continue;
        }
        paced += n;
        const QMutexLocker lock(&mutex_);
        received_.append(chunk, n);
    }
}

int first_parts(QByteArrayView got, QByteArrayView send)
{
    int parts = 0;
    while (!got.isEmpty()) {
        qsizetype same = 0;
        while (same < got.size() && same < send.size() && got[same] == send[same])
            ++same;
        if (same == 0)
            return -1;
        got = got.sliced(same);
        ++parts;
    }
    return parts;
}

} // namespace kestrune::test
