// SPDX-License-Identifier: Apache-2.0
// quillon-flash as a process, against the simulated unit on loopback.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "FlashRig.h"
#include "FlashText.h"
#include "LoopbackUnit.h"
#include "TempDir.h"
#include "UnitSim.h"

namespace {

class FlashCliTest : public ::testing::Test {
  protected:
    void StartUnit(CUnitSimConfig config = {}) {
        m_unit = StartLoopbackUnit(EWakeup::kNeeded, std::move(config));
        ASSERT_NE(m_unit->Port(), 0);
    }
    std::vector<std::string> Args(std::vector<std::string> extra) {
        std::vector<std::string> args{"--port", std::to_string(m_unit->Port())};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    std::unique_ptr<CUnitSim> m_unit;
};

TEST_F(FlashCliTest, FlashesAndPrintsTheDialogsLogLines) {
    StartUnit();
    CFirmware fw(40);
    const CRun run = RunFlash(Args({"127.0.0.1", fw.Path()}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "Attempting to connect...\nConnected.\nDevice bootloader v1.04\n"
              "Firmware loaded successfully.\nVerifying & erasing firmware...\n"
              "Programming firmware...\nProgrammed successfully.\nVerification successful.\n"
              "Bootloader exited, unit restarted.\nDisconnected.\n");
    EXPECT_EQ(run.err, "");  // no terminal: no progress bar
    EXPECT_EQ(m_unit->FlashCrc(0x9D000000, fw.Length()), fw.Crc());
    EXPECT_TRUE(m_unit->Exited());
    EXPECT_EQ(m_unit->ResetCount(), 0);
}

TEST_F(FlashCliTest, ResetsDefaultsFirstWhenTheBootloaderCan) {
    StartUnit();
    CFirmware fw(8);
    const CRun run = RunFlash(Args({"--reset-defaults", "--quiet", "127.0.0.1", fw.Path()}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");  // quiet
    EXPECT_EQ(m_unit->ResetCount(), 1);
    EXPECT_EQ(m_unit->EraseCount(), 1);
}

TEST_F(FlashCliTest, RefusesAResetOnABootloaderBefore104WithoutErasing) {
    CUnitSimConfig config;
    config.minor = 3;
    StartUnit(config);
    CFirmware fw(8);
    const CRun run = RunFlash(Args({"--reset-defaults", "127.0.0.1", fw.Path()}));
    EXPECT_EQ(run.status, 5);
    EXPECT_NE(run.err.find(FlashText::ResetRefused("1.04")), std::string::npos) << run.err;
    EXPECT_EQ(m_unit->EraseCount(), 0);
    EXPECT_EQ(m_unit->ResetCount(), 0);
    EXPECT_FALSE(m_unit->Exited());  // left in its bootloader
}

TEST_F(FlashCliTest, InfoPrintsTheVersionLineAndDisconnects) {
    CUnitSimConfig config;
    config.name = "Bench7";
    config.major = 2;
    config.minor = 0;
    StartUnit(config);
    const CRun run = RunFlash(Args({"--info", "127.0.0.1"}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "Attempting to connect...\nConnected.\nBench7 bootloader v2.00\n"
              "Bootloader exited, unit restarted.\nDisconnected.\n");
}

TEST_F(FlashCliTest, ExtendedTimeoutWakesWithTheExtendedVariant) {
    StartUnit();
    EXPECT_EQ(RunFlash(Args({"--extended-timeout", "--info", "127.0.0.1"})).status, 0);
    const auto seen = m_unit->Requests();
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(seen[0].wakeup);
    EXPECT_EQ(seen[0].wakeText, "remotebootlext");

    m_unit->ClearRequests();
    EXPECT_EQ(RunFlash(Args({"--info", "127.0.0.1"})).status, 0);
    ASSERT_FALSE(m_unit->Requests().empty());
    EXPECT_EQ(m_unit->Requests()[0].wakeText, "remotebootlstd");
}

TEST_F(FlashCliTest, AVerifyMismatchExitsWithTwoAndLeavesTheBootloaderRunning) {
    StartUnit();
    m_unit->SetCustomReply(4, {4, 0x12, 0x34});
    CFirmware fw(8);
    const CRun run = RunFlash(Args({"127.0.0.1", fw.Path()}));
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.out.find("Verification failed.\n"), std::string::npos);
    EXPECT_EQ(run.out.find("Disconnected."), std::string::npos);
    EXPECT_FALSE(m_unit->Exited());
}

TEST_F(FlashCliTest, ALossyUnitIsStillFlashedWhole) {
    CUnitSimConfig config;
    // Each batch has three tries; at these rates all three fail about once in a thousand.
    config.faults.dropRequest = 0.05;
    config.faults.dropReply = 0.05;
    config.faults.seed = 11;
    StartUnit(config);
    CFirmware fw(60);
    const CRun run = RunFlash(Args({"127.0.0.1", fw.Path()}), 60000);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(m_unit->FlashCrc(0x9D000000, fw.Length()), fw.Crc());
}

TEST_F(FlashCliTest, ASilentUnitExitsWithOne) {
    CUnitSimConfig config;
    config.faults.silent = true;
    StartUnit(config);
    CFirmware fw(4);
    const CRun run = RunFlash(Args({"127.0.0.1", fw.Path()}), 30000);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Attempting to connect...\nNo response, operation failed.\n");
    EXPECT_NE(run.err.find("no response"), std::string::npos);
    EXPECT_EQ(m_unit->EraseCount(), 0);
}

TEST_F(FlashCliTest, UnusableFirmwareExitsWithThree) {
    StartUnit();
    const CRun missing = RunFlash(Args({"127.0.0.1", "/nonexistent/fw.hex"}));
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(m_unit->RequestCount(), 0u);  // told before the unit is woken

    CFirmware empty(4, false);  // records, but none that puts data into flash
    const CRun noData = RunFlash(Args({"127.0.0.1", empty.Path()}));
    EXPECT_EQ(noData.status, 3) << noData.out;
    EXPECT_EQ(m_unit->EraseCount(), 0);
}

TEST_F(FlashCliTest, EveryUnusableFileIsRefusedInASecondWithNothingSent) {
    StartUnit();
    CTempDir dir;
    const std::string fifo = dir.PathOf("fw.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto write = [&](const std::string& name, const std::string& text) {
        return dir.Write(name, text);
    };
    const std::string cases[] = {
        dir.Path(),
        fifo,
        "/dev/zero",
        write("empty.hex", ""),
        write("text.hex", "firmware for the bench\n"),
        write("binary.hex", std::string("\x7f"
                                        "ELF\x02\x01\x00\xff\xfe",
                                        9)),
        write("gap.hex", ":020000041D00DD\n\n:0400000001020304F2\n"),
    };
    for (const std::string& path : cases) {
        const CRun run = RunFlash(Args({"127.0.0.1", path}), 5000);
        EXPECT_EQ(run.status, 3) << path << run.err;
        EXPECT_LT(run.ms, 1000) << path;
        EXPECT_NE(run.err.find("quillon-flash: "), std::string::npos) << path;
        EXPECT_EQ(run.out, "") << path;
    }
    EXPECT_EQ(m_unit->RequestCount(), 0u);
}

TEST_F(FlashCliTest, AFileChangedWhileFlashingExitsWithThree) {
    CUnitSimConfig config;
    config.faults.delayReply = 1.0;
    config.faults.delayReplyMs = 5;
    StartUnit(config);
    CFirmware fw(3000);
    const CRun run = RunFlash(Args({"127.0.0.1", fw.Path()}), 30000, 0, [&](pid_t) {
        int batches = 0;
        for (const auto& r : m_unit->Requests()) batches += r.command == 3 ? 1 : 0;
        if (batches >= 5) {
            EXPECT_EQ(::truncate(fw.Path().c_str(), 0), 0);
        }
    });
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    EXPECT_NE(run.out.find("Firmware file changed while flashing; verification refused.\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("Verification successful."), std::string::npos);
    EXPECT_FALSE(m_unit->Exited());
}

// Ctrl+C or a kill at each stage: out at once, one line on what the unit holds, no restart.
TEST_F(FlashCliTest, AnInterruptEndsAtOnceAndSaysWhatTheUnitHolds) {
    const struct {
        int signal;
        uint8_t stage;  // the request to be interrupted at
        EStage where;
    } cases[] = {
        {SIGINT, 3, EStage::kProgramming},
        {SIGTERM, 2, EStage::kErasing},
        {SIGINT, 1, EStage::kConnecting},
    };
    for (const auto& c : cases) {
        const std::string line = FlashText::kPrefix + FlashText::Interrupted(c.where) + "\n";
        CUnitSimConfig config;
        config.faults.delayReply = 1.0;
        config.faults.delayReplyMs = c.stage == 3 ? 5 : 3000;
        StartUnit(config);
        CFirmware fw(3000);
        std::chrono::steady_clock::time_point sent{};
        const CRun run = RunFlash(Args({"127.0.0.1", fw.Path()}), 20000, 0, [&](pid_t pid) {
            if (sent != std::chrono::steady_clock::time_point{}) return;
            int seen = 0;
            for (const auto& r : m_unit->Requests()) seen += r.command == c.stage ? 1 : 0;
            if (seen < (c.stage == 3 ? 5 : 1)) return;
            ::kill(pid, c.signal);
            sent = std::chrono::steady_clock::now();
        });
        const auto took = std::chrono::steady_clock::now() - sent;
        EXPECT_EQ(run.status, 128 + c.signal) << run.out << run.err;
        EXPECT_LT(took, std::chrono::milliseconds(600)) << line;
        EXPECT_NE(run.err.find(line), std::string::npos) << run.err;
        EXPECT_FALSE(m_unit->Exited()) << line;
        m_unit->Stop();
    }
}

TEST_F(FlashCliTest, ASocketThatCannotBeMadeExitsWithFour) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizer runtimes hold descriptors of their own, so no limit leaves exactly the
    // socket without one; the plain build runs this case.
    GTEST_SKIP() << "descriptor counts differ under sanitizers";
#endif
    StartUnit();
    CFirmware fw(4);
    // stdin, stdout, stderr and the notification fd: no descriptor is left for the socket.
    const CRun run = RunFlash(Args({"127.0.0.1", fw.Path()}), 10000, 4);
    EXPECT_EQ(run.status, 4) << run.out << run.err;
    EXPECT_NE(run.err.find("Socket creation failed!"), std::string::npos) << run.err;
}

TEST(FlashCli, ImageInfoPrintsTheVerifyRangeWithoutANetwork) {
    CFirmware fw(64);
    const CRun run = RunFlash({"--image-info", fw.Path()});
    EXPECT_EQ(run.status, 0) << run.err;
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "start 0x9D000000\nlength %u\ncrc16 0x%04X\nrecords 66\n", fw.Length(), fw.Crc());
    EXPECT_EQ(run.out, expected);

    CFirmware noData(3, false);
    EXPECT_EQ(RunFlash({"--image-info", noData.Path()}).status, 3);
    EXPECT_EQ(RunFlash({"--image-info", "/nonexistent.hex"}).status, 3);
}

TEST(FlashCli, UsageErrorsExitWith64AndHelpExplains) {
    const CRun none = RunFlash({});
    EXPECT_EQ(none.status, 64);
    EXPECT_NE(none.err.find("usage:"), std::string::npos);
    EXPECT_EQ(RunFlash({"999.1.1.1", "fw.hex"}).status, 64);
    EXPECT_EQ(RunFlash({"--port", "x", "127.0.0.1", "fw.hex"}).status, 64);
    const CRun help = RunFlash({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
}

}  // namespace
