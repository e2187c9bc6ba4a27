// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <string>

#include "core/AnnounceParser.h"

inline constexpr int kExitListenFailed = 4;
inline constexpr int kExitUsage = 64;

struct CWatchOptions {
    bool json = false;
    bool once = false;
    double onceSeconds = 0;
    std::string mac;  // empty: every unit
    uint16_t port = kAnnouncePort;
    bool help = false;
    bool version = false;
};

extern const char* const kWatchUsage;
extern const char* const kWatchHelp;
// "pellisk-watch VERSION", the build's version.
const char* WatchVersionLine();

// False with *error set for options that cannot be used.
bool ParseWatchOptions(int argc, char** argv, CWatchOptions* options, std::string* error);
