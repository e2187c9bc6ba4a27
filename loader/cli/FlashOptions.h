// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "BootTimings.h"
#include "Targets.h"

// Exit statuses of quillon-flash, for scripts.
enum EFlashExit : int {
    kExitVerified = 0,
    kExitNoResponse = 1,
    kExitVerifyFailed = 2,
    kExitBadFirmware = 3,
    kExitSocketError = 4,
    kExitRefused = 5,  // the unit can't do what was asked (reset on a bootloader before 1.04)
    kExitRecordLost = 6,  // --record: the record could not be opened, or a row not written
    kExitUsage = 64,
};

enum class EFlashMode { kFlash, kInfo, kImageInfo, kHelp, kVersion };

struct CFlashOptions {
    EFlashMode mode = EFlashMode::kFlash;
    std::vector<CTarget> targets;
    uint16_t port = 69;  // for targets without their own
    bool resetDefaults = false;
    bool extendedTimeout = false;
    bool quiet = false;
    bool json = false;
    bool verbose = false;
    std::string traceFile;
    std::string targetsFile;
    int jobs = 0;  // 0: all at once, up to kMostJobs
    int attempts = 1;
    uint16_t programTries = kProgramTiming.tries;
    std::string firmware;
    std::string recordTarget;  // --record: a SQLite path or a postgresql:// URL
    std::string mac;           // --mac: the one target's MAC, for its row
    // Set for a unit that a quillon-flash of many units runs: JSON events on stdout, times
    // counted from the parent's start (CLOCK_MONOTONIC ns), and the file already checked.
    int64_t childStartNs = -1;

    bool IsChild() const { return childStartNs >= 0; }
    // The port a target is reached at.
    uint16_t PortOf(const CTarget& target) const { return target.port ? target.port : port; }
};

constexpr int kMostJobs = 64;

// Parses argv; on failure error holds a one-line reason and false is returned.
bool ParseFlashOptions(int argc, const char* const* argv, CFlashOptions& options,
                       std::string& error);

extern const char* const kFlashUsage;
// The --help text after the usage lines; its tries, spacings and versions are the dialog's own.
std::string FlashHelp();
// The first bootloader version that takes a reset to defaults, "1.04".
std::string ResetDefaultsVersionText();
