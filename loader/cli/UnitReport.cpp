// SPDX-License-Identifier: Apache-2.0
#include "UnitReport.h"

#include <cstdio>

const char* StageName(EStage stage) {
    switch (stage) {
        case EStage::kConnecting:
            return "connecting";
        case EStage::kResetting:
            return "resetting";
        case EStage::kErasing:
            return "erasing";
        case EStage::kProgramming:
            return "programming";
        case EStage::kVerifying:
            return "verifying";
        case EStage::kDone:
            return "done";
        case EStage::kFailed:
            return "failed";
    }
    return "failed";
}

std::string GroupedNumber(uint64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

std::string SummaryLine(const CUnitResult& result) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", result.seconds);
    if (result.ok) {
        const double kib = result.seconds > 0 ? result.bytes / 1024.0 / result.seconds : 0;
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.0f KiB/s", kib);
        return "Verified " + GroupedNumber(result.bytes) + " bytes in " + seconds + " (" + rate +
               ")";
    }
    return "Failed after " + GroupedNumber(result.bytes) + " of " + GroupedNumber(result.total) +
           " bytes in " + seconds + ": " + result.message;
}
