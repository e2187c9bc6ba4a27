// SPDX-License-Identifier: Apache-2.0
// bench_fleet: flashes one generated image into 1, 4, 8, 16 and 32 in-process units at once, with
// one quillon-flash command per count, and reports the wall time against one unit's, the records
// per second in total and the CPU seconds per unit.
//
//   bench_fleet [options] PATH/TO/quillon-flash
//
// Every unit listens on 127.0.0.1 on a port of its own; nothing else is ever addressed.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BenchRun.h"
#include "ChildProcess.h"
#include "ExpectedImage.h"
#include "FleetJson.h"
#include "HexGen.h"
#include "UnitSim.h"

namespace {

const char* const kUsage =
    "usage: bench_fleet [options] QUILLON_FLASH\n"
    "  --units LIST              unit counts, comma-separated (1,4,8,16,32)\n"
    "  --repeats N               runs per count; the median is reported (3)\n"
    "  --size BYTES              firmware data bytes per unit (65536)\n"
    "  --record-bytes N          data bytes per record (16)\n"
    "  --erase-ms MS             each unit's erase takes MS (0)\n"
    "  --program-us-per-byte US  each unit programs a byte in US microseconds (0)\n"
    "  --flash-args \"ARGS\"       more quillon-flash options, split at spaces\n"
    "  --limit SECONDS           a run still going then is killed (300)\n"
    "  --work-dir DIR            firmware and logs (default: a new /tmp/bench_fleet.XXXXXX)\n"
    "  --help                    this text\n";

struct CFleetOptions {
    std::string flashPath;
    std::vector<int> counts{1, 4, 8, 16, 32};
    int repeats = 3;
    uint32_t sizeBytes = 65536;
    uint32_t recordBytes = 16;
    uint32_t eraseMs = 0;
    uint32_t programUsPerByte = 0;
    std::vector<std::string> flashArgs;
    int limitSeconds = 300;
    std::string workDir;
    bool help = false;
};

// One quillon-flash command over count units.
struct CFleetRun {
    bool completed = false;  // ended by itself, every unit with one result
    int exitCode = -1;
    double wall = 0;
    double childCpu = 0;  // quillon-flash and its unit processes
    double selfCpu = 0;   // this process: the simulated units' threads, mostly
    int verified = 0;     // result ok, exit 0, and the unit's flash holds the file
    int maxAttempts = 0;
    CPhaseTimes phases;  // medians over the units
};

bool ParseCounts(const std::string& text, std::vector<int>& counts) {
    counts.clear();
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');) {
        long n = 0;
        if (!ParseBenchCount(item.c_str(), 1, 64, n)) return false;
        counts.push_back(static_cast<int>(n));
    }
    return !counts.empty();
}

bool ParseOptions(int argc, char** argv, CFleetOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            if (!options.flashPath.empty()) {
                error = "more than one quillon-flash path";
                return false;
            }
            options.flashPath = arg;
            continue;
        }
        if (arg == "--help") {
            options.help = true;
            return true;
        }
        if (i + 1 >= argc) {
            error = arg + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        long n = 0;
        bool ok = true;
        if (arg == "--units") {
            ok = ParseCounts(value, options.counts);
        } else if (arg == "--repeats") {
            ok = ParseBenchCount(value.c_str(), 1, 99, n);
            options.repeats = static_cast<int>(n);
        } else if (arg == "--size") {
            ok = ParseBenchCount(value.c_str(), 1, 0x500000, n);
            options.sizeBytes = static_cast<uint32_t>(n);
        } else if (arg == "--record-bytes") {
            ok = ParseBenchCount(value.c_str(), 1, 255, n);
            options.recordBytes = static_cast<uint32_t>(n);
        } else if (arg == "--erase-ms") {
            ok = ParseBenchCount(value.c_str(), 0, 60000, n);
            options.eraseMs = static_cast<uint32_t>(n);
        } else if (arg == "--program-us-per-byte") {
            ok = ParseBenchCount(value.c_str(), 0, 100000, n);
            options.programUsPerByte = static_cast<uint32_t>(n);
        } else if (arg == "--flash-args") {
            std::istringstream words(value);
            for (std::string word; words >> word;) options.flashArgs.push_back(word);
        } else if (arg == "--limit") {
            ok = ParseBenchCount(value.c_str(), 1, 3600, n);
            options.limitSeconds = static_cast<int>(n);
        } else if (arg == "--work-dir") {
            options.workDir = value;
        } else {
            error = "unknown option " + arg;
            return false;
        }
        if (!ok) {
            error = "bad value for " + arg + ": " + value;
            return false;
        }
    }
    if (options.flashPath.empty()) {
        error = "the path of quillon-flash is missing";
        return false;
    }
    return true;
}

double CpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

CFleetRun RunFleet(const CFleetOptions& options, const CExpectedImage& expected,
                   const std::string& hexPath, int count, int repeat) {
    CFleetRun run;
    std::vector<std::unique_ptr<CUnitSim>> units;
    CUnitSimConfig config;
    config.bindAddress = "127.0.0.1";
    config.port = 0;
    config.eraseMs = options.eraseMs;
    config.programUsPerByte = options.programUsPerByte;
    std::vector<std::string> args{options.flashPath, "--json"};
    args.insert(args.end(), options.flashArgs.begin(), options.flashArgs.end());
    std::vector<std::string> targets;
    for (int i = 0; i < count; ++i) {
        units.push_back(std::make_unique<CUnitSim>(config));
        if (!units.back()->Start()) return run;
        targets.push_back("127.0.0.1:" + std::to_string(units.back()->Port()));
    }
    args.insert(args.end(), targets.begin(), targets.end());
    args.push_back(hexPath);

    const std::string stem =
        options.workDir + "/n" + std::to_string(count) + "-run" + std::to_string(repeat);
    const double childBefore = CpuSeconds(RUSAGE_CHILDREN);
    const double selfBefore = CpuSeconds(RUSAGE_SELF);
    const CChildRun child =
        RunCapturingStdout(args, stem + ".stderr", options.limitSeconds, &g_benchInterrupted);
    run.childCpu = CpuSeconds(RUSAGE_CHILDREN) - childBefore;
    run.selfCpu = CpuSeconds(RUSAGE_SELF) - selfBefore;
    run.wall = child.seconds;
    for (auto& unit : units) unit->Stop();
    if (FILE* out = std::fopen((stem + ".jsonl").c_str(), "w")) {
        std::fwrite(child.output.data(), 1, child.output.size(), out);
        std::fclose(out);
    }
    if (!child.started) return run;
    if (!child.killed && WIFEXITED(child.status)) run.exitCode = WEXITSTATUS(child.status);

    const std::vector<CUnitOutcome> outcomes = ReadFleetJson(child.output, targets);
    int results = 0;
    std::vector<CPhaseTimes> phases;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const CUnitOutcome& o = outcomes[i];
        results += o.results;
        run.maxAttempts = std::max(run.maxAttempts, o.attempts);
        const bool holds = units[i]->FlashCrc(expected.start, expected.length) == expected.crc &&
                           units[i]->ReadFlash(expected.start, expected.length) == expected.bytes;
        if (o.results == 1 && o.ok && o.exit == 0 && holds) ++run.verified;
        phases.push_back(o.phases);
    }
    run.phases = MedianPhases(phases);
    run.completed = !child.killed && results == count;
    return run;
}

struct CCountSummary {
    int count = 0;
    double wall = 0, wallLow = 0, wallHigh = 0;
    double childCpu = 0, selfCpu = 0;
    int verifiedRuns = 0;  // runs in which every unit verified
    int maxAttempts = 0;
    CPhaseTimes phases;
};

CCountSummary Summarize(int count, const std::vector<CFleetRun>& runs) {
    CCountSummary s;
    s.count = count;
    std::vector<double> walls, child, self;
    std::vector<CPhaseTimes> phases;
    for (const CFleetRun& r : runs) {
        walls.push_back(r.wall);
        child.push_back(r.childCpu);
        self.push_back(r.selfCpu);
        phases.push_back(r.phases);
        s.maxAttempts = std::max(s.maxAttempts, r.maxAttempts);
        if (r.completed && r.exitCode == 0 && r.verified == count) ++s.verifiedRuns;
    }
    s.wall = Median(walls);
    s.wallLow = *std::min_element(walls.begin(), walls.end());
    s.wallHigh = *std::max_element(walls.begin(), walls.end());
    s.childCpu = Median(child);
    s.selfCpu = Median(self);
    s.phases = MedianPhases(phases);
    return s;
}

void PrintTables(const CFleetOptions& options, const CExpectedImage& expected,
                 const std::vector<CCountSummary>& rows) {
    const double oneWall = rows.front().count == 1 ? rows.front().wall : 0;
    std::printf("\n%5s %8s %15s %7s %12s %12s %12s %10s %8s\n", "units", "wall s", "(min..max)",
                "ratio", "records/s", "loader CPU", "sim CPU", "verified", "attempts");
    std::printf("%5s %8s %15s %7s %12s %12s %12s %10s %8s\n", "", "median", "", "to 1", "total",
                "s per unit", "s per unit", "runs", "most");
    for (const CCountSummary& s : rows) {
        char range[32], ratio[16];
        std::snprintf(range, sizeof range, "(%.2f..%.2f)", s.wallLow, s.wallHigh);
        if (oneWall > 0)
            std::snprintf(ratio, sizeof ratio, "%.2f", s.wall / oneWall);
        else
            std::snprintf(ratio, sizeof ratio, "-");
        char verified[16];
        std::snprintf(verified, sizeof verified, "%d/%d", s.verifiedRuns, options.repeats);
        std::printf("%5d %8.2f %15s %7s %12.0f %12.3f %12.3f %10s %8d\n", s.count, s.wall, range,
                    ratio, s.count * double(expected.dataRecords) / s.wall, s.childCpu / s.count,
                    s.selfCpu / s.count, verified, s.maxAttempts);
    }
    // Where a unit's time goes, from the times of its own log lines (medians over units and runs).
    std::printf("\nmedian seconds of a unit, from its start: %s\n", PhaseHeader().c_str());
    for (const CCountSummary& s : rows)
        std::printf("%5d units: %s\n", s.count, PhaseRow(s.phases).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    CFleetOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "bench_fleet: %s\n%s", error.c_str(), kUsage);
        return kBenchExitUsage;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    CBenchFirmware firmware;
    if (const int status = PrepareBenchRun("bench_fleet", options.flashPath, options.workDir,
                                           options.sizeBytes, options.recordBytes, firmware))
        return status;
    CatchBenchInterrupts();
    const std::string& hexPath = firmware.path;
    const CExpectedImage& expected = firmware.expected;
    std::printf("quillon-flash: %s --json", options.flashPath.c_str());
    for (const std::string& a : options.flashArgs) std::printf(" %s", a.c_str());
    std::printf(" TARGET... %s\n", hexPath.c_str());
    std::printf(
        "firmware: %u bytes, %u data records; units: erase %u ms, %u us a byte; "
        "%d runs per count; %ld cores online; logs in %s\n",
        options.sizeBytes, expected.dataRecords, options.eraseMs, options.programUsPerByte,
        options.repeats, ::sysconf(_SC_NPROCESSORS_ONLN), options.workDir.c_str());
    std::fflush(stdout);

    std::vector<CCountSummary> rows;
    bool allVerified = true;
    for (int count : options.counts) {
        std::vector<CFleetRun> runs;
        for (int r = 0; r < options.repeats && !g_benchInterrupted; ++r) {
            runs.push_back(RunFleet(options, expected, hexPath, count, r));
            const CFleetRun& run = runs.back();
            std::fprintf(stderr, "  %d units, run %d: %.2f s, exit %d, %d verified%s\n", count,
                         r + 1, run.wall, run.exitCode, run.verified,
                         run.completed ? "" : ", INCOMPLETE");
        }
        if (runs.empty()) break;
        rows.push_back(Summarize(count, runs));
        allVerified = allVerified && rows.back().verifiedRuns == options.repeats;
    }
    if (rows.empty()) return 1;
    PrintTables(options, expected, rows);
    std::fflush(stdout);
    return allVerified && !g_benchInterrupted ? 0 : 1;
}
