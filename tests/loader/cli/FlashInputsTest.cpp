// SPDX-License-Identifier: Apache-2.0
// What quillon-flash reads and writes beside the firmware, as a process: a unit given twice,
// targets on standard input, a trace that takes nothing, or stops taking.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "FlashRig.h"
#include "FlashText.h"
#include "LoopbackUnit.h"
#include "TempDir.h"
#include "UnitSim.h"

namespace {

class FlashInputsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CUnitSimConfig config;
        config.programUsPerByte = 100;  // programming lasts about a second
        m_unit = StartLoopbackUnit(EWakeup::kNeeded, config);
        ASSERT_NE(m_unit->Port(), 0);
    }
    std::string Target() const { return "127.0.0.1:" + std::to_string(m_unit->Port()); }
    bool Holds() const { return m_unit->FlashCrc(0x9D000000, m_fw.Length()) == m_fw.Crc(); }

    std::unique_ptr<CUnitSim> m_unit;
    CFirmware m_fw{600};
    CTempDir m_dir;
};

TEST_F(FlashInputsTest, AUnitGivenTwiceWakesNoUnit) {
    const CRun run =
        RunFlash({"--port", std::to_string(m_unit->Port()), "127.0.0.1", Target(), m_fw.Path()});
    EXPECT_EQ(run.status, 64);
    EXPECT_NE(run.err.find(FlashText::ListedTwice(Target(), "argument 3", "argument 4")),
              std::string::npos)
        << run.err;
    EXPECT_EQ(m_unit->RequestCount(), 0u);
}

TEST_F(FlashInputsTest, TargetsComeFromStandardInput) {
    CRunHooks hooks;
    hooks.input = "# the line\n" + Target() + "\n";
    const CRun run = RunFlash({"--quiet", "--targets", "-", m_fw.Path()}, hooks);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Holds());
}

// A FIFO nobody reads and a device that takes nothing: refused at once, for one unit or many.
TEST_F(FlashInputsTest, ATraceThatCannotBeWrittenIsRefusedBeforeAnyUnitIsWoken) {
    const std::string fifo = m_dir.PathOf("trace.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        int error;
    } cases[] = {{fifo, ENXIO}, {"/dev/full", ENOSPC}};
    for (const auto& c : cases) {
        for (const bool many : {false, true}) {
            std::vector<std::string> args{"--trace", c.path, Target()};
            if (many) args.push_back("127.0.0.2:9");
            args.push_back(m_fw.Path());
            const CRun run = RunFlash(args, 10000);
            EXPECT_EQ(run.status, 64) << c.path << run.err;
            EXPECT_NE(run.err.find(FlashText::CannotWriteTrace(c.path, std::strerror(c.error))),
                      std::string::npos)
                << run.err;
        }
    }
    EXPECT_EQ(m_unit->RequestCount(), 0u);
}

// The trace's reader goes away mid-flash: said once, and the unit is flashed to the end.
TEST_F(FlashInputsTest, ATraceThatStopsTakingIsSaidOnceAndTheFlashGoesOn) {
    const std::string fifo = m_dir.PathOf("trace.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    CRunHooks hooks;
    hooks.during = [&](pid_t) {
        if (reader < 0) return;
        char sink[4096];
        while (::read(reader, sink, sizeof sink) > 0) {
        }
        for (const auto& r : m_unit->Requests()) {
            if (r.command != 3) continue;  // CMD_PROGRAM
            ::close(reader);
            reader = -1;
            return;
        }
    };
    const CRun run = RunFlash({"--trace", fifo, Target(), m_fw.Path()}, hooks);
    if (reader >= 0) ::close(reader);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string said = FlashText::TraceWriteFailed(fifo, std::strerror(EPIPE));
    const size_t first = run.err.find(said);
    EXPECT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(said, first + 1), std::string::npos) << run.err;
    EXPECT_TRUE(Holds());
}

}  // namespace
