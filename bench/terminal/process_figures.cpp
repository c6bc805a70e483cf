// SPDX-License-Identifier: MIT
#include "process_figures.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace kestrune::bench {

qint64 cpu_ticks(qint64 pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return -1;
    // The command name may hold spaces and parentheses: the fields start after the last ')'.
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(line.substr(close + 2));
    std::string skipped;
    for (int field = 3; field < 14; ++field) // state .. cmajflt
        fields >> skipped;
    long long user = 0;
    long long system = 0;
    fields >> user >> system;
    return fields ? qint64(user + system) : -1;
}

double ticks_to_seconds(qint64 ticks)
{
    static const long per_second = sysconf(_SC_CLK_TCK);
    return double(ticks) / double(per_second);
}

namespace {

qint64 status_kilobytes(qint64 pid, const char *format)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        long long kilobytes = 0;
        if (std::sscanf(line.c_str(), format, &kilobytes) == 1)
            return qint64(kilobytes) * 1024;
    }
    return -1;
}

} // namespace

qint64 resident_bytes(qint64 pid)
{
    return status_kilobytes(pid, "VmRSS: %lld kB");
}

qint64 peak_resident_bytes(qint64 pid)
{
    return status_kilobytes(pid, "VmHWM: %lld kB");
}

} // namespace kestrune::bench
