// SPDX-License-Identifier: MIT
#pragma once
// Writes to files of this process fail past a limit, as on a full disk, while
// the object lives.

#include <sys/resource.h>

#include <csignal>

namespace kestrune::test {

struct FileSizeLimit {
    rlimit old{};
    explicit FileSizeLimit(rlim_t limit)
    {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails with EFBIG instead
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit lower = old;
        lower.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
};

} // namespace kestrune::test
