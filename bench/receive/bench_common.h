// SPDX-License-Identifier: MIT
#pragma once
// Shared by the receive benchmarks: the box in a window with a count box, the
// handler over its own program state, and process figures.

#include "app/count_box.h"
#include "receive/receive_box.h"
#include "receive/receive_controls.h"
#include "receive/receive_handler.h"
#include "text/decimal.h"
#include "text/gbk.h"
#include "window_places.h"

#include <QBasicTimer>
#include <QLineEdit>
#include <QTimerEvent>
#include <QWidget>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

using clock_type = std::chrono::steady_clock;

inline double seconds_since(clock_type::time_point start)
{
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

inline double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    if (values.empty())
        return 0;
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

// Received bytes of every value, in a pattern that does not repeat soon.
inline QByteArray byte_pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

// Received text lines as a board prints them, GBK included.
inline QByteArray text_pattern(qsizetype size)
{
    const QByteArray line = kestrune::to_gbk(u"T=23.5C RH=45% 状态:正常 count=000123\r\n");
    QByteArray bytes;
    while (bytes.size() < size)
        bytes += line;
    bytes.truncate(size);
    return bytes;
}

inline qint64 resident_bytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return qint64(resident) * sysconf(_SC_PAGESIZE);
}

inline double cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The window's count box, given every count or (count_once_a_frame) at most one per 40 ms frame.
struct CountBox : kestrune::CountBox {
    QBasicTimer frame;
    qint64 shown = -1;
    qint64 count = 0;
    using kestrune::CountBox::CountBox;
    void show_now()
    {
        frame.stop();
        if (count != shown)
            show_count(count);
        shown = count;
    }
    void timerEvent(QTimerEvent *event) override
    {
        if (event->timerId() == frame.timerId())
            show_now();
        else
            kestrune::CountBox::timerEvent(event);
    }
};

// The receive area as the window has it: the box at its size and the count box.
struct ReceiveArea : kestrune::ReceiveControls {
    QWidget window;
    kestrune::ReceiveBox *box = new kestrune::ReceiveBox(&window);
    CountBox *count_box = new CountBox(&window);
    bool hex = true;
    bool count_once_a_frame = false;
    bool handling = true; // false: the benchmark only counts what arrives
    qint64 chunks = 0; // figures of the last run, kept by the benchmark
    double longest_chunk_s = 0;
    qint64 longest_chunk_bytes = 0;

    kestrune::ProgramState state{.lead_byte_store = std::array<quint8, 2>{0, 0}};
    kestrune::ReceiveHandler handler{*this, *box, state};

    ReceiveArea()
    {
        box->setGeometry(kestrune::test::at::接收编辑框_in_group);
        count_box->setGeometry(11, 400, 64, 24);
        count_box->setReadOnly(true);
        window.resize(340, 440);
        window.show();
    }
    bool receive_hex_checked() const override { return hex; }
    void show_received_count(qint64 count) override
    {
        count_box->count = count;
        if (!count_once_a_frame)
            count_box->show_now();
        else if (!count_box->frame.isActive())
            count_box->frame.start(40, count_box);
    }
};

} // namespace bench
