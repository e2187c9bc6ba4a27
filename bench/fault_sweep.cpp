// SPDX-License-Identifier: Apache-2.0
// fault_sweep: flashes one generated image through the real quillon-flash binary into many
// seeded, faulty in-process units and counts how each run ended: verified, honest failure,
// false success (exit 0 but the unit does not hold the file) or hung.
//
//   fault_sweep [options] PATH/TO/quillon-flash
//
// Every unit listens on 127.0.0.1 on a port of its own; nothing else is ever addressed.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchRun.h"
#include "ChildProcess.h"
#include "ExpectedImage.h"
#include "HexGen.h"
#include "UnitSim.h"

namespace {

constexpr int kPollMs = 20;

const char* const kUsage =
    "usage: fault_sweep [options] QUILLON_FLASH\n"
    "  --seeds N             runs, one seed each (40)\n"
    "  --first-seed N        seed of the first run (1)\n"
    "  --jobs J              runs at once, each with its own unit and child (8)\n"
    "  --limit SECONDS       a run still going then is killed and counted hung (240)\n"
    "  --size BYTES          firmware data bytes (65536)\n"
    "  --record-bytes N      data bytes per record (16)\n"
    "  --duplicate-reply P   fault probabilities 0..1 (0.10)\n"
    "  --drop-request P      (0.10)\n"
    "  --drop-reply P        (0)\n"
    "  --corrupt-request P   (0)\n"
    "  --corrupt-reply P     (0)\n"
    "  --delay-reply P       (0), with --delay-ms MS (0)\n"
    "  --no-faults           all probabilities 0\n"
    "  --flash-args \"ARGS\"   more quillon-flash options, split at spaces, e.g.\n"
    "                        \"--attempts 3 --program-tries 8\"\n"
    "  --verbose             run quillon-flash without --quiet, so its log lands in the run log\n"
    "  --work-dir DIR        firmware and per-run logs (default: a new /tmp/fault_sweep.XXXXXX)\n"
    "  --help                this text\n";

struct CSweepOptions {
    std::string flashPath;
    int seeds = 40;
    uint32_t firstSeed = 1;
    int jobs = 8;
    int limitSeconds = 240;
    uint32_t sizeBytes = 65536;
    uint32_t recordBytes = 16;
    CFaultConfig faults;
    std::vector<std::string> flashArgs;
    bool verbose = false;
    bool help = false;
    std::string workDir;
};

enum class EOutcome { kVerified, kHonestFailure, kFalseSuccess, kHung, kCrashed, kNotRun };

struct CRunResult {
    uint32_t seed = 0;
    EOutcome outcome = EOutcome::kNotRun;
    int exitCode = -1;  // -1 when killed or not run
    int signal = 0;     // set when the child died of a signal we did not send
    double seconds = 0;
    int erases = 0;
    size_t requests = 0, dropped = 0, programs = 0, verifies = 0;
    int lostBatches = 0;  // program batches dropped on every try: never in the unit's flash
    uint16_t flashCrc = 0;
    bool flashHoldsFile = false;
    std::string note;
};

const char* OutcomeName(EOutcome outcome) {
    switch (outcome) {
        case EOutcome::kVerified:
            return "verified";
        case EOutcome::kHonestFailure:
            return "honest failure";
        case EOutcome::kFalseSuccess:
            return "FALSE SUCCESS";
        case EOutcome::kHung:
            return "hung";
        case EOutcome::kCrashed:
            return "crashed";
        case EOutcome::kNotRun:
            return "not run";
    }
    return "?";
}

bool ParseProbability(const char* text, double& out) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(value >= 0 && value <= 1)) return false;
    out = value;
    return true;
}

bool ParseOptions(int argc, char** argv, CSweepOptions& options, std::string& error) {
    options.faults.duplicateReply = 0.10;
    options.faults.dropRequest = 0.10;
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
        if (arg == "--no-faults") {
            options.faults = CFaultConfig{};
            continue;
        }
        if (arg == "--verbose") {
            options.verbose = true;
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
        const char* value = argv[++i];
        long n = 0;
        bool ok = true;
        if (arg == "--seeds") {
            ok = ParseBenchCount(value, 1, 100000, n);
            options.seeds = static_cast<int>(n);
        } else if (arg == "--first-seed") {
            ok = ParseBenchCount(value, 0, 0x7FFFFFFF, n);
            options.firstSeed = static_cast<uint32_t>(n);
        } else if (arg == "--jobs") {
            ok = ParseBenchCount(value, 1, 64, n);
            options.jobs = static_cast<int>(n);
        } else if (arg == "--limit") {
            ok = ParseBenchCount(value, 1, 24 * 3600, n);
            options.limitSeconds = static_cast<int>(n);
        } else if (arg == "--size") {
            ok = ParseBenchCount(value, 1, 0x500000, n);
            options.sizeBytes = static_cast<uint32_t>(n);
        } else if (arg == "--record-bytes") {
            ok = ParseBenchCount(value, 1, 255, n);
            options.recordBytes = static_cast<uint32_t>(n);
        } else if (arg == "--duplicate-reply") {
            ok = ParseProbability(value, options.faults.duplicateReply);
        } else if (arg == "--drop-request") {
            ok = ParseProbability(value, options.faults.dropRequest);
        } else if (arg == "--drop-reply") {
            ok = ParseProbability(value, options.faults.dropReply);
        } else if (arg == "--corrupt-request") {
            ok = ParseProbability(value, options.faults.corruptRequest);
        } else if (arg == "--corrupt-reply") {
            ok = ParseProbability(value, options.faults.corruptReply);
        } else if (arg == "--delay-reply") {
            ok = ParseProbability(value, options.faults.delayReply);
        } else if (arg == "--delay-ms") {
            ok = ParseBenchCount(value, 0, 60000, n);
            options.faults.delayReplyMs = static_cast<int>(n);
        } else if (arg == "--flash-args") {
            std::istringstream words(value);
            for (std::string word; words >> word;) options.flashArgs.push_back(word);
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

// Runs quillon-flash once and prints what it said, for the cross-check of the range.
std::string CaptureImageInfo(const CSweepOptions& options, const std::string& hexPath) {
    const std::string logPath = options.workDir + "/image-info.txt";
    const pid_t pid = SpawnChild({options.flashPath, "--image-info", hexPath}, logPath);
    if (pid == 0) return "";
    CChildRun run;
    WaitChild(pid, 30, nullptr, kPollMs, run);
    if (run.killed) return "";
    std::ifstream in(logPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const char* CommandName(uint8_t command) {
    static const char* const kNames[] = {"?",      "read-version", "erase", "program",
                                         "verify", "exit",         "reset"};
    return command < 7 ? kNames[command] : "?";
}

// The first Frame in a datagram as sent, whether or not it reached the unit.
bool DecodeSent(const std::vector<uint8_t>& raw, std::string& body) {
    CRequestDecoder decoder;
    for (uint8_t b : raw) {
        if (!decoder.Take(b)) continue;
        body.assign(reinterpret_cast<const char*>(decoder.Body()), decoder.BodySize());
        return true;
    }
    return false;
}

// "offsets 0x0000..0x00A0" of the data records in a program body.
std::string BatchOffsets(const std::string& body) {
    const auto* data = reinterpret_cast<const uint8_t*>(body.data());
    size_t pos = 1;
    int first = -1, last = -1;
    while (pos + 5 <= body.size() && pos + 5 + data[pos] <= body.size()) {
        if (data[pos + 3] == 0) {
            last = data[pos + 1] << 8 | data[pos + 2];
            if (first < 0) first = last;
        }
        pos += 5 + data[pos];
    }
    if (first < 0) return "no data records";
    char text[40];
    std::snprintf(text, sizeof text, "offsets 0x%04X..0x%04X", first, last);
    return text;
}

// What the unit saw, one line a request, beside the child's own log. Returns how many program
// batches were dropped on the way in and never arrived on a later try: data the unit never got.
int WriteUnitLog(const std::string& path, const std::vector<CSeenRequest>& seen) {
    std::set<std::string> delivered;
    std::vector<std::string> droppedBatches;
    FILE* out = std::fopen(path.c_str(), "w");
    const uint64_t t0 = seen.empty() ? 0 : seen.front().atMs;
    for (const CSeenRequest& r : seen) {
        std::string body;
        const bool decoded = !r.wakeup && DecodeSent(r.raw, body);
        const bool program = decoded && !body.empty() && static_cast<uint8_t>(body[0]) == 3;
        if (program) (r.dropped ? droppedBatches.push_back(body) : (void)delivered.insert(body));
        if (out == nullptr) continue;
        std::fprintf(out, "%7llu ms  port %5u  ", static_cast<unsigned long long>(r.atMs - t0),
                     static_cast<unsigned>(r.fromPort));
        if (r.dropped) {
            std::fprintf(out, "DROPPED on the way in: %s%s%s\n",
                         decoded ? CommandName(static_cast<uint8_t>(body[0])) : "no frame",
                         program ? ", " : "", program ? BatchOffsets(body).c_str() : "");
        } else if (r.wakeup) {
            std::fprintf(out, "wake-up\n");
        } else if (!r.frame) {
            std::fprintf(out, "%zu bytes, no frame\n", r.raw.size());
        } else {
            std::fprintf(out, "%s, %u bytes", CommandName(r.command),
                         static_cast<unsigned>(r.bodySize));
            if (program)
                std::fprintf(out, ", %u records, %s", r.records, BatchOffsets(body).c_str());
            if (r.replies == 2) std::fprintf(out, ", reply DUPLICATED");
            if (r.outOfSession) std::fprintf(out, ", out of session");
            std::fputc('\n', out);
        }
    }
    if (out != nullptr) std::fclose(out);
    std::set<std::string> lost;  // a batch dropped on every try counts once
    for (const std::string& b : droppedBatches) {
        if (delivered.count(b) == 0) lost.insert(b);
    }
    return static_cast<int>(lost.size());
}

CRunResult RunOne(const CSweepOptions& options, const CExpectedImage& expected,
                  const std::string& hexPath, uint32_t seed) {
    CRunResult result;
    result.seed = seed;
    CUnitSimConfig config;
    config.bindAddress = "127.0.0.1";
    config.port = 0;
    config.faults = options.faults;
    config.faults.seed = seed;
    CUnitSim unit(config);
    if (!unit.Start()) {
        result.note = "unit did not start";
        return result;
    }
    const std::string logPath = options.workDir + "/run-seed" + std::to_string(seed) + ".log";
    std::vector<std::string> args{options.flashPath};
    if (!options.verbose) args.push_back("--quiet");
    args.insert(args.end(), options.flashArgs.begin(), options.flashArgs.end());
    args.insert(args.end(), {"--port", std::to_string(unit.Port()), "127.0.0.1", hexPath});

    const auto begin = std::chrono::steady_clock::now();
    const pid_t pid = SpawnChild(args, logPath);
    if (pid == 0) {
        result.note = "quillon-flash did not start";
        return result;
    }
    CChildRun run;
    WaitChild(pid, options.limitSeconds, &g_benchInterrupted, kPollMs, run);
    const int status = run.status;
    const bool killed = run.killed;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    unit.Stop();

    const std::vector<CSeenRequest> seen = unit.Requests();
    result.lostBatches =
        WriteUnitLog(options.workDir + "/unit-seed" + std::to_string(seed) + ".log", seen);
    result.requests = unit.RequestCount();
    for (const CSeenRequest& r : seen) {
        if (r.dropped) ++result.dropped;
        if (r.frame && r.command == 3) ++result.programs;
        if (r.frame && r.command == 4) ++result.verifies;
    }
    result.erases = unit.EraseCount();
    result.flashCrc = unit.FlashCrc(expected.start, expected.length);
    result.flashHoldsFile = result.flashCrc == expected.crc &&
                            unit.ReadFlash(expected.start, expected.length) == expected.bytes;

    if (killed) {
        result.outcome = g_benchInterrupted ? EOutcome::kNotRun : EOutcome::kHung;
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
        result.outcome = EOutcome::kCrashed;
    } else {
        result.exitCode = WEXITSTATUS(status);
        if (result.exitCode != 0) {
            result.outcome = EOutcome::kHonestFailure;
        } else {
            result.outcome = result.flashHoldsFile ? EOutcome::kVerified : EOutcome::kFalseSuccess;
        }
    }
    return result;
}

std::string ExitText(const CRunResult& r) {
    if (r.outcome == EOutcome::kHung) return "killed";
    if (r.signal != 0) return "sig " + std::to_string(r.signal);
    if (r.exitCode < 0) return "-";
    return std::to_string(r.exitCode);
}

}  // namespace

int main(int argc, char** argv) {
    CSweepOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "fault_sweep: %s\n%s", error.c_str(), kUsage);
        return kBenchExitUsage;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    CBenchFirmware firmware;
    if (const int status = PrepareBenchRun("fault_sweep", options.flashPath, options.workDir,
                                           options.sizeBytes, options.recordBytes, firmware))
        return status;
    CatchBenchInterrupts();
    const std::string& hexPath = firmware.path;
    const CExpectedImage& expected = firmware.expected;

    const CFaultConfig& f = options.faults;
    std::printf("quillon-flash: %s", options.flashPath.c_str());
    for (const std::string& a : options.flashArgs) std::printf(" %s", a.c_str());
    std::printf("\n");
    std::printf("firmware: %s, %u bytes in %u-byte records from 0x%08X\n", hexPath.c_str(),
                options.sizeBytes, options.recordBytes, CHexGenOptions{}.startAddress);
    std::printf("expected: start 0x%08X length %u crc16 0x%04X\n", expected.start, expected.length,
                expected.crc);
    std::string info = CaptureImageInfo(options, hexPath);
    std::replace(info.begin(), info.end(), '\n', ' ');
    std::printf("quillon-flash --image-info says: %s\n", info.empty() ? "(nothing)" : info.c_str());
    std::printf(
        "faults: duplicate-reply %.2f drop-request %.2f drop-reply %.2f corrupt-request %.2f "
        "corrupt-reply %.2f delay-reply %.2f/%d ms\n",
        f.duplicateReply, f.dropRequest, f.dropReply, f.corruptRequest, f.corruptReply,
        f.delayReply, f.delayReplyMs);
    std::printf("runs: seeds %u..%u, %d at once, limit %d s; logs in %s\n\n", options.firstSeed,
                options.firstSeed + static_cast<uint32_t>(options.seeds) - 1, options.jobs,
                options.limitSeconds, options.workDir.c_str());
    std::fflush(stdout);

    std::vector<CRunResult> results(static_cast<size_t>(options.seeds));
    std::atomic<int> next{0};
    std::mutex printMutex;
    const auto sweepBegin = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int j = 0; j < std::min(options.jobs, options.seeds); ++j) {
        workers.emplace_back([&] {
            for (;;) {
                const int i = next.fetch_add(1);
                if (i >= options.seeds || g_benchInterrupted) return;
                const uint32_t seed = options.firstSeed + static_cast<uint32_t>(i);
                results[static_cast<size_t>(i)] = RunOne(options, expected, hexPath, seed);
                const CRunResult& r = results[static_cast<size_t>(i)];
                std::lock_guard<std::mutex> lock(printMutex);
                std::fprintf(stderr, "  seed %u done: exit %s, %.1f s, %s\n", seed,
                             ExitText(r).c_str(), r.seconds, OutcomeName(r.outcome));
            }
        });
    }
    for (std::thread& t : workers) t.join();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - sweepBegin).count();

    // lost: program batches dropped on the way in on every try.
    std::printf("\n%5s %6s %8s  %-15s %6s %8s %7s %8s %4s %8s  %-6s %s\n", "seed", "exit",
                "seconds", "outcome", "erases", "requests", "dropped", "programs", "lost",
                "verifies", "flash", "unit's flash");
    std::map<EOutcome, int> totals;
    std::map<std::string, int> exitCodes;
    for (const CRunResult& r : results) {
        ++totals[r.outcome];
        if (r.outcome == EOutcome::kHonestFailure) ++exitCodes[ExitText(r)];
        char flash[8];
        std::snprintf(flash, sizeof flash, "0x%04X", r.flashCrc);
        std::printf("%5u %6s %8.1f  %-15s %6d %8zu %7zu %8zu %4d %8zu  %-6s %s%s\n", r.seed,
                    ExitText(r).c_str(), r.seconds, OutcomeName(r.outcome), r.erases, r.requests,
                    r.dropped, r.programs, r.lostBatches, r.verifies, flash,
                    r.flashHoldsFile ? "holds the file" : "differs",
                    r.note.empty() ? "" : ("; " + r.note).c_str());
    }
    std::printf("\ntotals over %d runs:\n", options.seeds);
    std::printf("  verified         %d\n", totals[EOutcome::kVerified]);
    std::printf("  honest failures  %d", totals[EOutcome::kHonestFailure]);
    const char* sep = " (exit codes:";
    for (const auto& [code, count] : exitCodes) {
        std::printf("%s %s x%d", sep, code.c_str(), count);
        sep = ",";
    }
    std::printf("%s\n", exitCodes.empty() ? "" : ")");
    std::printf("  false successes  %d\n", totals[EOutcome::kFalseSuccess]);
    std::printf("  hung             %d\n", totals[EOutcome::kHung]);
    if (totals[EOutcome::kCrashed])
        std::printf("  crashed          %d\n", totals[EOutcome::kCrashed]);
    if (totals[EOutcome::kNotRun])
        std::printf("  not run          %d\n", totals[EOutcome::kNotRun]);
    std::printf("  wall time        %.1f s\n", wall);
    std::fflush(stdout);
    return totals[EOutcome::kFalseSuccess] || totals[EOutcome::kHung] ||
                   totals[EOutcome::kCrashed] || totals[EOutcome::kNotRun]
               ? 1
               : 0;
}
