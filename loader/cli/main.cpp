// quillon-flash: the loader's sequence without a window, for scripts and production lines.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "FirmwareFile.h"
#include "FlashOptions.h"
#include "FlashRecording.h"
#include "Fleet.h"
#include "Interrupt.h"
#include "UnitReports.h"
#include "UnitRun.h"

namespace {

std::unique_ptr<IUnitReport> ReportFor(const CFlashOptions& options) {
    if (options.json || options.IsChild())
        return std::make_unique<CJsonReport>(options.targets[0].text);
    return std::make_unique<CPlainReport>(options.quiet, ::isatty(STDERR_FILENO) != 0);
}

// Every target gets a result event with the refusal, so that a JSON reader hears of each.
int Refuse(const CFlashOptions& options, const CRunClock& clock, int exit, const std::string& problem) {
    std::fprintf(stderr, "quillon-flash: %s\n", problem.c_str());
    if (options.json) {
        CUnitResult refused;
        refused.exit = exit;
        refused.message = problem;
        for (const CTarget& t : options.targets)
            WriteAll(STDOUT_FILENO, ResultJson(t.text, clock.Seconds(), refused) + "\n");
    }
    return exit;
}

int Flash(const CFlashOptions& options, const CRunClock& clock) {
    // A unit of many was checked by the quillon-flash that started it.
    if (!options.IsChild()) {
        const std::string problem = FirmwareProblem(options.firmware);
        if (!problem.empty()) return Refuse(options, clock, kExitBadFirmware, problem);
    }
    // --record: the record must answer before any unit is woken; the fleet's parent writes
    // every unit's row.
    CFlashRecording recording;
    FUnitResultHook onResult;
    if (!options.recordTarget.empty() && !options.IsChild()) {
        std::string error;
        if (!recording.Open(options, error))
            return Refuse(options, clock, kExitRecordLost,
                          "cannot open the record: " + error + "; nothing was flashed");
        onResult = recording.Hook();
    }
    if (options.targets.size() > 1) return recording.Status(RunFleet(options, clock, onResult));
    CatchInterrupts();
    const auto report = ReportFor(options);
    CResultTee tee(*report, options.targets[0], onResult);
    return recording.Status(RunUnit(options, options.targets[0], clock, tee));
}

}  // namespace

int main(int argc, char** argv) {
    CFlashOptions options;
    std::string error;
    if (!ParseFlashOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "quillon-flash: %s\n%s(try --help)\n", error.c_str(), kFlashUsage);
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
        case EFlashMode::kInfo: {
            CatchInterrupts();
            const auto report = ReportFor(options);
            return RunInfo(options, options.targets[0], clock, *report);
        }
        case EFlashMode::kFlash:
            break;
    }
    return Flash(options, clock);
}
