// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>

// The tries and the time-out between them of every command the dialog starts.
struct CBootTiming {
    uint16_t tries;
    uint16_t timeoutMs;
    // How long the engine can take before it reports the command answered or failed.
    uint32_t LongestMs() const { return uint32_t{tries} * timeoutMs; }
};

constexpr CBootTiming kConnectStandard{24, 333};
constexpr CBootTiming kConnectExtended{20, 2000};
constexpr CBootTiming kResetTiming{3, 5000};
constexpr CBootTiming kEraseTiming{3, 5000};
constexpr CBootTiming kProgramTiming{3, 500};  // every batch
constexpr CBootTiming kVerifyTiming{3, 5000};
constexpr CBootTiming kExitTiming{1, 200};

// Bootloaders from version 1.04 (major × 100 + minor) accept CMD_RESET_DEFAULTS.
constexpr unsigned kResetDefaultsSinceVersion = 104;
