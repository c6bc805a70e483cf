// SPDX-License-Identifier: MIT
#pragma once
// What the harness reads about a running program from /proc, and the one clock
// every timestamp of the harness is taken on.

#include <QtGlobal>

#include <chrono>

namespace kestrune::bench {

// Seconds on the steady clock, shared by the harness and its probe thread.
inline double now_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// User plus system CPU time of the whole process (all its threads), in clock
// ticks of the kernel's user clock; -1 once the process is gone.
qint64 cpu_ticks(qint64 pid);
double ticks_to_seconds(qint64 ticks);

// VmRSS of the process in bytes; -1 once it is gone.
qint64 resident_bytes(qint64 pid);
// VmHWM, the most it has been resident since it started.
qint64 peak_resident_bytes(qint64 pid);

} // namespace kestrune::bench
