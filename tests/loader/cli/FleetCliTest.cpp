// SPDX-License-Identifier: Apache-2.0
// quillon-flash with many units, retries and traces, as a process against simulated units.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "FlashRig.h"
#include "FlashText.h"
#include "JsonText.h"
#include "LoopbackUnit.h"
#include "TempDir.h"
#include "UnitSim.h"

namespace {

std::unique_ptr<CUnitSim> StartSim(CUnitSimConfig config = {}) {
    return StartLoopbackUnit(EWakeup::kNeeded, std::move(config));
}

std::string Target(const CUnitSim& unit) {
    return "127.0.0.1:" + std::to_string(unit.Port());
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// An empty file, removed when the program ends.
std::string TempPath() {
    CTempDir& dir = CTempDir::Shared();
    return dir.Write(dir.NewName(), "");
}

// Without a terminal: prefixed whole lines, every good unit verified, the silent one on stderr.
TEST(FleetCli, FlashesUnitsInParallelAndReportsTheSilentOne) {
    std::vector<std::unique_ptr<CUnitSim>> units;
    for (int i = 0; i < 4; ++i) {
        CUnitSimConfig config;
        config.faults.silent = i == 1;
        units.push_back(StartSim(config));
    }
    CFirmware fw(80);
    const std::string trace = TempPath();
    std::vector<std::string> args{"--trace", trace};
    for (const auto& u : units) args.push_back(Target(*u));
    args.push_back(fw.Path());
    const CRun run = RunFlash(args, 40000);

    EXPECT_EQ(run.status, 1) << run.out << run.err;
    for (size_t i = 0; i < units.size(); ++i) {
        const std::string t = Target(*units[i]);
        if (i == 1) {
            EXPECT_NE(run.err.find(FlashText::kPrefix + t + ": " + FlashText::NoResponseFrom(t)),
                      std::string::npos)
                << run.err;
            EXPECT_EQ(units[i]->EraseCount(), 0);
            continue;
        }
        EXPECT_NE(run.out.find(t + ": Connected.\n"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(t + ": Verified 1,280 bytes in "), std::string::npos) << run.out;
        EXPECT_EQ(units[i]->FlashCrc(0x9D000000, fw.Length()), fw.Crc()) << t;
        EXPECT_TRUE(units[i]->Exited()) << t;
    }
    // Lines of units running at once never run into each other, here or in the one trace.
    const std::regex prefixed("127\\.0\\.0\\.1:[0-9]+: [^\n]*");
    for (const std::string& line : Lines(run.out))
        EXPECT_TRUE(std::regex_match(line, prefixed)) << line;
    std::ifstream in(trace);
    const std::string traced((std::istreambuf_iterator<char>(in)), {});
    const std::regex traceLine("127\\.0\\.0\\.1:[0-9]+ [0-9]+ (send|recv) [0-9]+ [^\n]+");
    for (const std::string& line : Lines(traced))
        EXPECT_TRUE(std::regex_match(line, traceLine)) << line;
    EXPECT_NE(traced.find(Target(*units[1]) + " "), std::string::npos);
    ::unlink(trace.c_str());
}

// One line per datagram, exactly the bytes the unit saw, the wake-up as its text.
TEST(FleetCli, TraceHasEveryDatagramInTheDocumentedFormat) {
    const auto unit = StartSim();
    CFirmware fw(40);
    const std::string trace = TempPath(), target = Target(*unit);
    EXPECT_EQ(RunFlash({"--quiet", "--trace", trace, target, fw.Path()}).status, 0);
    std::ifstream in(trace);
    const std::regex format(target + " ([0-9]+) (send|recv) ([0-9]+) (.*)");
    std::vector<std::string> sent;
    size_t received = 0, lastMs = 0;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, format)) << line;
        EXPECT_GE(std::stoul(m[1]), lastMs);
        lastMs = std::stoul(m[1]);
        if (m[2] == "send") {
            sent.push_back(m[3].str() + " " + m[4].str());
            continue;
        }
        ++received;
        EXPECT_EQ(m[4].length(), std::stoul(m[3]) * 3 - 1) << line;
    }
    const auto seen = unit->Requests();
    ASSERT_EQ(sent.size(), seen.size());
    EXPECT_EQ(sent[0], "15 wake \"remotebootlstd\"");
    size_t replies = 0;
    for (size_t i = 0; i < seen.size(); ++i) {
        replies += seen[i].replies;
        if (seen[i].wakeup) continue;
        std::string shown = std::to_string(seen[i].raw.size());
        for (const uint8_t b : seen[i].raw) {
            char two[4];
            std::snprintf(two, sizeof two, " %02X", b);
            shown += two;
        }
        EXPECT_EQ(sent[i], shown);
    }
    EXPECT_EQ(received, replies);
    ::unlink(trace.c_str());
}

// The unit goes quiet once programming began and answers again at the next wake-up.
TEST(FleetCli, AttemptsFlashAgainFromConnectAfterALostLink) {
    for (const int attempts : {3, 1}) {
        CUnitSimConfig config;
        config.programUsPerByte = 100;  // programming lasts about 0.6 s
        const auto unit = StartSim(config);
        CFirmware fw(400);
        size_t silencedAt = 0;
        bool awake = false;
        const CRun run =
            RunFlash({"--json", "--attempts", std::to_string(attempts), Target(*unit), fw.Path()},
                     40000, 0, [&](pid_t) {
                         const auto seen = unit->Requests();
                         for (size_t i = 0; i < seen.size() && !silencedAt; ++i) {
                             if (seen[i].command != 3) continue;  // CMD_PROGRAM
                             silencedAt = seen.size();
                             unit->SetSilent(true);
                         }
                         for (size_t i = silencedAt; silencedAt && i < seen.size() && !awake; ++i) {
                             if (!seen[i].wakeup) continue;
                             awake = true;
                             unit->SetSilent(false);
                         }
                     });
        ASSERT_NE(silencedAt, 0u);
        std::vector<CJsonFields> events;
        for (const std::string& line : Lines(run.out)) {
            events.emplace_back();
            ASSERT_TRUE(ParseJsonObject(line, events.back())) << line;
        }
        ASSERT_FALSE(events.empty());
        const CJsonValue* attemptsUsed = FindJson(events.back(), "attempts");
        ASSERT_NE(attemptsUsed, nullptr);
        const std::string failed = FlashText::AttemptFailed(
            1, 3, FlashText::NoResponseWhile(Target(*unit), "programming"));
        const bool logged = run.out.find(failed) != std::string::npos;
        if (attempts == 3) {
            EXPECT_EQ(run.status, 0) << run.out << run.err;
            EXPECT_TRUE(logged) << run.out;
            EXPECT_EQ(attemptsUsed->number, 2);
            EXPECT_EQ(unit->FlashCrc(0x9D000000, fw.Length()), fw.Crc());
            EXPECT_EQ(unit->EraseCount(), 2);
        } else {
            EXPECT_EQ(run.status, 1) << run.out;
            EXPECT_FALSE(awake || logged);
            EXPECT_EQ(attemptsUsed->number, 1);
            EXPECT_FALSE(unit->Exited());
        }
    }
}

// The wake-up is lost: the unit hears none of that Connect's requests; a new Connect wakes it.
TEST(FleetCli, AttemptsWakeAUnitAgainWhoseWakeupWasLost) {
    CUnitSimConfig config;
    config.faults.dropRequest = 1.0;
    const auto unit = StartSim(config);
    CFirmware fw(40);
    bool healed = false;
    const CRun run = RunFlash({"--attempts", "2", Target(*unit), fw.Path()}, 30000, 0, [&](pid_t) {
        if (healed || unit->RequestCount() < 3) return;
        healed = true;
        unit->SetFaults(CFaultConfig{});
    });
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(
        run.out.find(FlashText::AttemptFailed(1, 2, FlashText::NoResponseFrom(Target(*unit)))),
        std::string::npos)
        << run.out;
    EXPECT_EQ(unit->FlashCrc(0x9D000000, fw.Length()), fw.Crc());
}

TEST(FleetCli, VersionAndABadTargetsLineOverTheCommandLine) {
    const CRun version = RunFlash({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("quillon-flash [0-9]+\\.[0-9.]+\n")))
        << version.out;

    const std::string targets = TempPath();
    std::ofstream(targets) << "127.0.0.1:7001\n\n127.0.0.1:7002:7\n";
    CFirmware fw(4);
    const CRun bad = RunFlash({"--targets", targets, fw.Path()});
    EXPECT_EQ(bad.status, 64);
    EXPECT_NE(bad.err.find(targets + " line 3"), std::string::npos) << bad.err;
    EXPECT_EQ(bad.out, "");
    ::unlink(targets.c_str());
}

}  // namespace
