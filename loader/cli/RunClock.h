// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <time.h>

#include <cstdint>

// Seconds since the start of the whole command. CLOCK_MONOTONIC is the same in every process,
// so the units that a quillon-flash of many units starts count from its own start.
struct CRunClock {
    int64_t startNs = NowNs();

    static int64_t NowNs() {
        timespec t{};
        ::clock_gettime(CLOCK_MONOTONIC, &t);
        return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
    }
    double Seconds() const { return static_cast<double>(NowNs() - startNs) / 1e9; }
};
