// SPDX-License-Identifier: Apache-2.0
// quillon-flash: the loader's sequence without a window, for scripts and production lines.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "FirmwareFile.h"
#include "FlashOptions.h"
#include "FlashRecording.h"
#include "FlashText.h"
#include "Fleet.h"
#include "Interrupt.h"
#include "TraceFile.h"
#include "UnitReports.h"
#include "UnitRun.h"

namespace {

std::unique_ptr<IUnitReport> ReportFor(const CFlashOptions& options) {
    if (options.json || options.IsChild())
        return std::make_unique<CJsonReport>(options.targets[0].text);
    return std::make_unique<CPlainReport>(options.quiet, ::isatty(STDERR_FILENO) != 0);
}

// Refuses every target before any unit is woken: the reason on stderr, and with --json a
// result per target.
int RefuseAll(const CFlashOptions& options, const CRunClock& clock, int status,
              const std::string& reason) {
    SayOnStderr(reason);
    if (options.json) {
        CUnitResult refused;
        refused.exit = status;
        refused.message = reason;
        for (const CTarget& t : options.targets)
            WriteAll(STDOUT_FILENO, ResultJson(t.text, clock.Seconds(), refused) + "\n");
    }
    return status;
}

// The trace and the firmware file, before any unit is woken. A unit of many was checked by the
// quillon-flash that started it.
int CheckBeforeWaking(const CFlashOptions& options, const CRunClock& clock, bool flashing) {
    if (options.IsChild()) return 0;
    if (!options.traceFile.empty()) {
        std::string reason;
        const int fd = OpenTraceFile(options.traceFile, reason);
        if (fd < 0)
            return RefuseAll(options, clock, kExitUsage,
                             FlashText::CannotWriteTrace(options.traceFile, reason));
        ::close(fd);
    }
    if (!flashing) return 0;
    const std::string problem = FirmwareProblem(options.firmware);
    return problem.empty() ? 0 : RefuseAll(options, clock, kExitBadFirmware, problem);
}

int Flash(const CFlashOptions& options, const CRunClock& clock) {
    // --record: the record must answer before any unit is woken; the fleet's parent writes
    // every unit's row.
    CFlashRecording recording;
    FUnitResultHook onResult;
    if (!options.recordTarget.empty() && !options.IsChild()) {
        std::string error;
        if (!recording.Open(options, error))
            return RefuseAll(options, clock, kExitRecordLost, FlashText::CannotOpenRecord(error));
        onResult = recording.Hook();
    }
    if (options.targets.size() > 1) return recording.Status(RunFleet(options, clock, onResult));
    const auto report = ReportFor(options);
    CResultTee tee(*report, options.targets[0], onResult);
    return recording.Status(RunUnit(options, options.targets[0], clock, tee));
}

}  // namespace

int main(int argc, char** argv) {
    CFlashOptions options;
    std::string error;
    if (!ParseFlashOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "%s%s\n%s(try --help)\n", FlashText::kPrefix, error.c_str(),
                     kFlashUsage);
        return kExitUsage;
    }
    CRunClock clock;
    if (options.IsChild()) clock.startNs = options.childStartNs;
    switch (options.mode) {
        case EFlashMode::kHelp:
            std::fputs(kFlashUsage, stdout);
            std::fputs("\n", stdout);
            std::fputs(FlashHelp().c_str(), stdout);
            return 0;
        case EFlashMode::kVersion:
            std::puts("quillon-flash " QUILLON_VERSION);
            return 0;
        case EFlashMode::kImageInfo:
            return RunImageInfo(options.firmware);
        case EFlashMode::kInfo:
        case EFlashMode::kFlash:
            break;
    }
    // From here on a closed terminal or output pipe never stops a unit (Interrupt.h).
    CatchInterrupts();
    if (options.IsChild()) KeepOutputLossQuiet();
    const bool flashing = options.mode == EFlashMode::kFlash;
    if (const int refused = CheckBeforeWaking(options, clock, flashing)) return refused;
    if (flashing) return Flash(options, clock);
    const auto report = ReportFor(options);
    return RunInfo(options, options.targets[0], clock, *report);
}
