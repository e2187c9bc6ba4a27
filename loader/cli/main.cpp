// quillon-flash: the loader's sequence without a window, for scripts and production lines.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "FirmwareFile.h"
#include "FlashOptions.h"
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

int Flash(const CFlashOptions& options, const CRunClock& clock) {
    // A unit of many was checked by the quillon-flash that started it.
    if (!options.IsChild()) {
        const std::string problem = FirmwareProblem(options.firmware);
        if (!problem.empty()) {
            std::fprintf(stderr, "quillon-flash: %s\n", problem.c_str());
            if (options.json) {
                CUnitResult refused;
                refused.exit = kExitBadFirmware;
                refused.message = problem;
                for (const CTarget& t : options.targets)
                    WriteAll(STDOUT_FILENO, ResultJson(t.text, clock.Seconds(), refused) + "\n");
            }
            return kExitBadFirmware;
        }
    }
    if (options.targets.size() > 1) return RunFleet(options, clock);
    CatchInterrupts();
    const auto report = ReportFor(options);
    return RunUnit(options, options.targets[0], clock, *report);
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
