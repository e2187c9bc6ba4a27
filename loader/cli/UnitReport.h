// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <string>

// Where a unit stands, as the live lines and the progress events name it.
enum class EStage : uint8_t {
    kConnecting,
    kResetting,
    kErasing,
    kProgramming,
    kVerifying,
    kDone,
    kFailed,
};
const char* StageName(EStage stage);

// How one unit's run ended.
struct CUnitResult {
    bool ok = false;      // verified: the unit holds the file
    int exit = 0;         // the unit's exit status
    std::string message;  // the reason, in words
    uint32_t bytes = 0;   // bytes programmed
    uint32_t total = 0;   // bytes to program
    double seconds = 0;   // from the unit's start to its end
    std::string version;  // the bootloader's name and version line; empty when unknown
    int attempts = 0;     // sequences begun
};

// What one unit's run reports, in order: log lines and progress, then exactly one result.
// time is seconds since the start of the whole command.
class IUnitReport {
  public:
    virtual ~IUnitReport() = default;
    virtual void Log(double time, const std::string& line) = 0;
    virtual void Progress(double time, EStage stage, uint32_t done, uint32_t total) = 0;
    virtual void Result(double time, const CUnitResult& result) = 0;
};

// "Verified 65,536 bytes in 1.9 s (34 KiB/s)", or what was done before a failure.
std::string SummaryLine(const CUnitResult& result);
// 65536 as "65,536".
std::string GroupedNumber(uint64_t value);
