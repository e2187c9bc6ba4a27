// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <csignal>
#include <cstdint>
#include <string>

#include "ExpectedImage.h"

// What the programs that drive quillon-flash against simulated units share: their exit codes,
// the interrupt flag, number parsing, and the start of a run (the flasher checked, the work
// directory made, the firmware written and what a unit must then hold worked out).
constexpr int kBenchExitSetup = 2;
constexpr int kBenchExitUsage = 64;

// Set by SIGINT or SIGTERM once CatchBenchInterrupts ran; runs stop starting and are killed.
extern volatile std::sig_atomic_t g_benchInterrupted;
void CatchBenchInterrupts();

// A whole decimal number from low to high.
bool ParseBenchCount(const char* text, long low, long high, long& out);

struct CBenchFirmware {
    std::string path;
    CExpectedImage expected;
};

// program names the messages; workDir empty means a new /tmp/PROGRAM.XXXXXX, filled in here.
// Returns 0 when ready, else the exit status after a line on stderr saying why.
int PrepareBenchRun(const char* program, const std::string& flashPath, std::string& workDir,
                    uint32_t sizeBytes, uint32_t recordBytes, CBenchFirmware& firmware);
