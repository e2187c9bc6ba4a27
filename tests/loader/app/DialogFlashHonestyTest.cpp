// SPDX-License-Identifier: Apache-2.0
// What the dialog must never claim: replies out of turn, files that change or never end.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "DialogRig.h"
#include "LogText.h"

namespace {

void ExpectOnlyDisconnectLeft(CDialogRig& rig) {
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_CONNECT));
    EXPECT_EQ(rig.window.GetControlText(IDC_CONNECT), "Disconnect");
    EXPECT_FALSE(rig.dlg.FlashInProgress());
}

TEST(DialogFlashOrder, AVerifyReplyToTheEraseIsNoSuccess) {
    CDialogRig rig;
    const std::string path = WriteFirmware(2000);
    const uint16_t crc = CImageOf(path).crc;
    // The unit answers the erase with the very CRC the file would verify with.
    rig.sim.SetCustomReply(CMD_ERASE,
                           {CMD_VERIFY, static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)});
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.Load(path));
    rig.dlg.OnFlashFirmware();
    rig.window.PumpFor(600);
    EXPECT_FALSE(rig.HasLine(LogText::kVerified)) << rig.dlg.LogText();
    EXPECT_FALSE(rig.HasLine(LogText::kVerifyFailed));
    EXPECT_EQ(rig.dlg.Connected(), 1);
    EXPECT_TRUE(rig.dlg.FlashInProgress());
    EXPECT_EQ(rig.RequestsFor(CMD_PROGRAM), 0);
    EXPECT_FALSE(rig.sim.Exited());
}

TEST(DialogFlashOrder, ProgrammingAnsweredWithAnotherCodeRunsOutOfTries) {
    for (const uint8_t code : {CMD_ERASE, CMD_RESET_DEFAULTS}) {
        CDialogRig rig;
        rig.sim.SetCustomReply(CMD_PROGRAM, {code});
        ASSERT_TRUE(rig.Connect());
        ASSERT_TRUE(rig.Load(WriteFirmware(2000)));
        rig.dlg.OnFlashFirmware();
        // Three tries of 500 ms; restarting the erase on every such answer never ends.
        ASSERT_TRUE(rig.WaitForLine(LogText::kNoResponse, 6000)) << int(code) << rig.dlg.LogText();
        EXPECT_EQ(rig.dlg.Flashing(), 0);
        EXPECT_TRUE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
        ASSERT_TRUE(rig.DisconnectAndWaitForTheExit());
        EXPECT_EQ(rig.sim.EraseCount(), 1) << int(code);
        EXPECT_EQ(rig.RequestsFor(CMD_PROGRAM), 3) << int(code);
    }
}

TEST(DialogFlashOrder, ARepeatedReadVersionReplyDuringAFlashOffersNothing) {
    CDialogRig rig;
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.Load(WriteFirmware(2000)));
    rig.sim.SetSilent(true);
    rig.dlg.OnFlashFirmware();
    // After the erase went out: what is queued before a command's first datagram is dropped.
    ASSERT_TRUE(rig.window.PumpUntil([&] { return rig.RequestsFor(CMD_ERASE) >= 1; }, 2000));
    SendFrameToLink(rig.dlg, {CMD_READ_VERSION, 1, 4});
    ASSERT_TRUE(rig.window.PumpUntil(
        [&] {
            const auto lines = rig.Lines();
            return std::count(lines.begin(), lines.end(), LogText::kConnected) == 2;
        },
        2000));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    EXPECT_TRUE(rig.dlg.FlashInProgress());
}

// The file is cut short or emptied once programming is under way.
TEST(DialogFlashFile, AFileChangedWhileFlashingIsRefusedNotVerified) {
    for (const off_t keep : {off_t{0}, off_t{-1}}) {
        CDialogRig rig;
        const std::string path = WriteFirmware(64 * 1024);
        CFaultConfig slow;
        slow.delayReply = 1.0;
        slow.delayReplyMs = 5;
        rig.sim.SetFaults(slow);
        ASSERT_TRUE(rig.Connect());
        ASSERT_TRUE(rig.Load(path));
        rig.dlg.OnFlashFirmware();
        ASSERT_TRUE(rig.window.PumpUntil([&] { return rig.RequestsFor(CMD_PROGRAM) >= 5; }, 5000));
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        ASSERT_EQ(::truncate(path.c_str(), keep < 0 ? info.st_size / 2 : keep), 0);
        ASSERT_TRUE(rig.WaitForLine(LogText::kFileChanged, 10000)) << rig.dlg.LogText();
        EXPECT_FALSE(rig.HasLine(LogText::kVerified));
        EXPECT_FALSE(rig.HasLine(LogText::kProgrammed));
        EXPECT_EQ(rig.Lines().back(), LogText::kFileChanged);
        ExpectOnlyDisconnectLeft(rig);
        EXPECT_FALSE(rig.sim.Exited());
        // Nothing was sent or logged since: the Disconnect's exit is the first one.
        ASSERT_TRUE(rig.DisconnectAndWaitForTheExit());
        EXPECT_EQ(rig.RequestsFor(CMD_VERIFY), 0);
        EXPECT_EQ(rig.RequestsFor(CMD_EXIT), 1);
        EXPECT_EQ(rig.LastLines(3), (std::vector<std::string>{LogText::kFileChanged,
                                                               LogText::kExited,
                                                               LogText::kDisconnected}));
    }
}

TEST(DialogFlashFile, AFileChangedSinceLoadIsRefusedBeforeTheErase) {
    CDialogRig rig;
    const std::string path = WriteFirmware(2000);
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.Load(path));
    ASSERT_EQ(::truncate(path.c_str(), 100), 0);
    rig.dlg.OnFlashFirmware();
    EXPECT_EQ(rig.dlg.LastLogLine(), LogText::kChangedSinceLoad);
    EXPECT_EQ(rig.dlg.Flashing(), 0);
    ASSERT_TRUE(rig.DisconnectAndWaitForTheExit());
    EXPECT_EQ(rig.sim.EraseCount(), 0);
}

TEST(DialogFlashFile, ALineThatIsNoRecordBeforeTheLastRecordIsRefusedBeforeTheErase) {
    CDialogRig rig;
    ASSERT_TRUE(rig.Connect());
    const std::string records = ":020000041D00DD\n:0400000001020304F2\n";
    EXPECT_FALSE(rig.Load(WriteText(records + "\n:0400100005060708D2\n:00000001FF\n")));
    const auto lines = rig.Lines();
    EXPECT_EQ(lines[lines.size() - 2],
              "Firmware file has a line that is not a record before its last record (line 3); "
              "nothing erased.");
    EXPECT_EQ(lines.back(), LogText::kLoadFailed);
    rig.dlg.OnFlashFirmware();
    EXPECT_EQ(rig.dlg.LastLogLine(), "No firmware file is open; load one first. Nothing erased.");
    // A blank line after the last record is harmless.
    ASSERT_TRUE(rig.Load(WriteText(records + ":00000001FF\n\n\n")));
    rig.sim.SetSilent(true);
    rig.dlg.OnFlashFirmware();
    EXPECT_TRUE(rig.dlg.FlashInProgress());
    EXPECT_TRUE(rig.window.PumpUntil([&] { return rig.RequestsFor(CMD_ERASE) == 1; }, 2000));
}

TEST(DialogFlashFile, LoadRefusesWhatIsNoRegularFileWithoutBlocking) {
    CDialogRig rig;
    ASSERT_TRUE(rig.Connect());
    const std::string fifo = TempPath(".fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/tmp")}) {
        const auto start = std::chrono::steady_clock::now();
        rig.window.SetChooserAnswer(path);
        rig.dlg.OnLoadFirmware();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << path;
        const auto lines = rig.Lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], LogText::kNotRegularFile) << path;
        EXPECT_EQ(lines.back(), LogText::kLoadFailed);
        EXPECT_FALSE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    }
    ::unlink(fifo.c_str());
}

TEST(FirmwareCheckText, EachProblemHasItsLogLine) {
    const auto text = [](EFirmwareProblem problem, int32_t line = 0, SRecordFault fault = {}) {
        SFirmwareCheck check;
        check.problem = problem;
        check.line = line;
        check.record = fault;
        return FirmwareProblemText(check);
    };
    EXPECT_EQ(text(EFirmwareProblem::kNone), "");
    EXPECT_EQ(text(EFirmwareProblem::kNoFile),
              "No firmware file is open; load one first. Nothing erased.");
    EXPECT_EQ(text(EFirmwareProblem::kNoRecord),
              "Firmware file does not start with a record; nothing erased.");
    EXPECT_EQ(text(EFirmwareProblem::kStrayLine, 12),
              "Firmware file has a line that is not a record before its last record (line 12); "
              "nothing erased.");
    EXPECT_EQ(text(EFirmwareProblem::kNoData),
              "Firmware file has no data to program; nothing erased.");

    const std::string damaged = "Firmware file has a damaged record on line 3 (";
    const struct {
        SRecordFault fault;
        const char* reason;
    } faults[] = {
        {{ERecordFault::kChecksum, 0x5A, 0x5B, 0}, "checksum 5A, expected 5B"},
        {{ERecordFault::kTooLong, 1205, 521, 0}, "1205 characters, at most 521"},
        {{ERecordFault::kNotHex, ' ', 0, 20}, "character ' ' in column 20 is not a hex digit"},
        // A control byte, a quote or a byte past ASCII never reaches the log as it stands.
        {{ERecordFault::kNotHex, 0x1B, 0, 7}, "byte 1B in column 7 is not a hex digit"},
        {{ERecordFault::kNotHex, '\'', 0, 7}, "byte 27 in column 7 is not a hex digit"},
        {{ERecordFault::kNotHex, 0xC3, 0, 7}, "byte C3 in column 7 is not a hex digit"},
        {{ERecordFault::kOddDigits, 19, 0, 0}, "19 hex digits, an odd number"},
        {{ERecordFault::kShort, 4, 0, 0}, "4 bytes, too short for a record"},
        {{ERecordFault::kByteCount, 0x10, 0x0C, 0}, "byte count 10, expected 0C"},
    };
    for (const auto& f : faults)
        EXPECT_EQ(text(EFirmwareProblem::kDamagedRecord, 3, f.fault),
                  damaged + f.reason + "); nothing erased.");
}

}  // namespace
