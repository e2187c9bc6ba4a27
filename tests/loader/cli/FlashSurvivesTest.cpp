// SPDX-License-Identifier: Apache-2.0
// quillon-flash as a process while its terminal, its reader, its parent or one of its unit
// processes goes away mid-flash: a unit is finished, or its state is said.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "FlashRig.h"
#include "FlashText.h"
#include "LoopbackUnit.h"
#include "UnitSim.h"

namespace {

constexpr uint8_t kProgram = 3;  // CMD_PROGRAM

class FlashSurvivesTest : public ::testing::Test {
  protected:
    // count units whose programming lasts about 1.6 s, and a file for them.
    void StartUnits(size_t count) {
        for (size_t i = 0; i < count; ++i) {
            CUnitSimConfig config;
            config.programUsPerByte = 100;
            m_units.push_back(StartLoopbackUnit(EWakeup::kNeeded, config));
            ASSERT_NE(m_units.back()->Port(), 0);
        }
    }
    std::string Target(size_t i) const { return "127.0.0.1:" + std::to_string(m_units[i]->Port()); }
    std::vector<std::string> Args(std::vector<std::string> extra = {}) const {
        for (size_t i = 0; i < m_units.size(); ++i) extra.push_back(Target(i));
        extra.push_back(m_fw.Path());
        return extra;
    }
    // Every unit has taken a few programming batches.
    bool AllProgramming() const {
        for (const auto& unit : m_units) {
            int batches = 0;
            for (const auto& r : unit->Requests()) batches += r.command == kProgram ? 1 : 0;
            if (batches < 3) return false;
        }
        return true;
    }
    bool Holds(size_t i) const {
        return m_units[i]->FlashCrc(0x9D000000, m_fw.Length()) == m_fw.Crc();
    }
    // The line a unit of many leaves on stderr.
    std::string UnitLine(size_t i, const std::string& message) const {
        return FlashText::kPrefix + Target(i) + ": " + message + "\n";
    }
    static size_t Count(const std::string& text, const std::string& part) {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    }

    std::vector<std::unique_ptr<CUnitSim>> m_units;
    CFirmware m_fw{1000};
    const std::string m_programming = FlashText::Interrupted(EStage::kProgramming);
};

// A closed terminal: one unit in-process, and many, are flashed to the end.
TEST_F(FlashSurvivesTest, AHangUpDoesNotStopAFlash) {
    for (const size_t count : {1, 2}) {
        m_units.clear();
        StartUnits(count);
        bool sent = false;
        CRunHooks hooks;
        hooks.during = [&](pid_t pid) {
            if (sent || !AllProgramming()) return;
            sent = true;
            ::kill(pid, SIGHUP);
        };
        const CRun run = RunFlash(Args(), hooks);
        ASSERT_TRUE(sent);
        EXPECT_EQ(run.signal, 0) << count;
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        for (size_t i = 0; i < count; ++i) EXPECT_TRUE(Holds(i)) << i;
    }
}

// "| grep -m1 Programming": the flash goes on, the loss is said once, the status is the flash's.
TEST_F(FlashSurvivesTest, AReaderThatGoesAwayLosesOutputNotTheUnit) {
    for (const size_t count : {1, 2}) {
        m_units.clear();
        StartUnits(count);
        CRunHooks hooks;
        hooks.closeOutWhen = [](const std::string& out) {
            return out.find("Programming") != std::string::npos;
        };
        // Output keeps coming after the reader left: log lines, and progress for many units.
        const CRun run = RunFlash(Args(), hooks);
        EXPECT_EQ(run.signal, 0) << count;
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Count(run.err, FlashText::OutputLost("Broken pipe")), 1u) << run.err;
        for (size_t i = 0; i < count; ++i) EXPECT_TRUE(Holds(i)) << i;
    }
}

// The parent killed outright: each unit's process says its state on the stderr it still has.
TEST_F(FlashSurvivesTest, UnitsOutlivingTheirParentSayTheirState) {
    StartUnits(2);
    bool sent = false;
    CRunHooks hooks;
    hooks.during = [&](pid_t pid) {
        if (sent || !AllProgramming()) return;
        sent = true;
        ::kill(pid, SIGKILL);
    };
    const CRun run = RunFlash(Args(), hooks);
    ASSERT_TRUE(sent);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_NE(run.err.find(UnitLine(i, m_programming)), std::string::npos) << run.err;
}

// A second Ctrl+C hard on the first: every unit still says its state, and the status is 130.
TEST_F(FlashSurvivesTest, ASecondInterruptDoesNotCutTheStopShort) {
    for (const size_t count : {1, 2}) {
        m_units.clear();
        StartUnits(count);
        bool sent = false;
        CRunHooks hooks;
        hooks.during = [&](pid_t pid) {
            if (sent || !AllProgramming()) return;
            sent = true;
            ::kill(pid, SIGINT);
            ::usleep(2000);
            ::kill(pid, SIGINT);
            ::kill(pid, SIGTERM);
        };
        const CRun run = RunFlash(Args(), hooks);
        ASSERT_TRUE(sent);
        EXPECT_EQ(run.status, 130) << run.signal << run.err;
        if (count == 1) {
            EXPECT_NE(run.err.find(FlashText::kPrefix + m_programming), std::string::npos)
                << run.err;
            continue;
        }
        for (size_t i = 0; i < count; ++i)
            EXPECT_NE(run.err.find(UnitLine(i, m_programming)), std::string::npos) << run.err;
    }
}

// A unit process that no longer runs (SIGSTOP) is killed 3 s after the interrupt; its result
// names where it was.
TEST_F(FlashSurvivesTest, AUnitProcessThatDoesNotStopIsKilledAfterTheGrace) {
    StartUnits(2);
    pid_t stopped = 0;
    std::chrono::steady_clock::time_point interrupted{};
    CRunHooks hooks;
    hooks.timeoutMs = 20000;
    hooks.during = [&](pid_t pid) {
        if (stopped || !AllProgramming()) return;
        stopped = UnitProcess(pid, Target(1));
        if (!stopped) return;
        ::kill(stopped, SIGSTOP);
        ::kill(pid, SIGINT);
        interrupted = std::chrono::steady_clock::now();
    };
    const CRun run = RunFlash(Args(), hooks);
    const auto took = std::chrono::steady_clock::now() - interrupted;
    ASSERT_NE(stopped, 0);
    // Never left stopped, whatever the run did.
    std::ifstream cmdline("/proc/" + std::to_string(stopped) + "/cmdline");
    const std::string left((std::istreambuf_iterator<char>(cmdline)), {});
    if (left.find(Target(1)) != std::string::npos) ::kill(stopped, SIGKILL);
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_GE(took, std::chrono::milliseconds(2900));
    EXPECT_LT(took, std::chrono::milliseconds(10000));
    EXPECT_NE(run.err.find(UnitLine(0, m_programming)), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(UnitLine(
                  1, FlashText::InState(FlashText::KilledAfterInterrupt(), EStage::kProgramming))),
              std::string::npos)
        << run.err;
}

// A unit process that crashes: its result says what the parent last saw of the unit; the
// other unit is finished.
TEST_F(FlashSurvivesTest, ACrashedUnitProcessIsReportedWithItsLastState) {
    StartUnits(2);
    pid_t killed = 0;
    CRunHooks hooks;
    hooks.during = [&](pid_t pid) {
        if (killed || !AllProgramming()) return;
        killed = UnitProcess(pid, Target(1));
        if (killed) ::kill(killed, SIGKILL);
    };
    const CRun run = RunFlash(Args(), hooks);
    ASSERT_NE(killed, 0);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find(UnitLine(
                  1, FlashText::InState(FlashText::EndedBySignal(SIGKILL), EStage::kProgramming))),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(Holds(0));
}

}  // namespace
