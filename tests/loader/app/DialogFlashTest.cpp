// SPDX-License-Identifier: Apache-2.0
// Load Firmware and Flash Firmware against the simulated unit on 127.0.0.1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "DialogRig.h"
#include "LogText.h"

namespace {

using Lines = std::vector<std::string>;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void ExpectFileLoadedControls(CDialogRig& rig) {
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_CONNECT));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_IP_ADDRESS));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_UDP_PORT));
    EXPECT_EQ(rig.dlg.Flashing(), 0);
}

class DialogFlash : public testing::TestWithParam<bool> {};

TEST_P(DialogFlash, WholeRunProgramsTheUnitAndDisconnects) {
    const bool reset = GetParam();
    CDialogRig rig(LoopbackUnit("Bench", 1, 4));
    const std::string path = WriteFirmware(3000);  // about 190 records: many batches
    const CImageOf image(path);
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.Load(path));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    rig.window.CheckControl(IDC_RESET_DEFAULTS, reset);

    uint32_t rangeAtEnd = 0, positionAtEnd = 0;
    rig.window.OnLogWritten([&](const std::string& log) {
        if (log.size() >= 26 &&
            log.compare(log.size() - 26, 26, "Programmed successfully.\r\n") == 0) {
            rig.window.FireTimer(kProgressTimerId);
            rangeAtEnd = rig.window.Control(IDC_PROGRESS).rangeHigh;
            positionAtEnd = rig.window.Control(IDC_PROGRESS).position;
        }
    });
    rig.dlg.OnFlashFirmware();
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_CONNECT));
    ASSERT_TRUE(rig.WaitForLine(LogText::kDisconnected, 20000)) << rig.dlg.LogText();

    Lines expected = {LogText::kLoaded};
    if (reset) expected.push_back(LogText::kSchedulingReset);
    for (const char* line : {LogText::kErasing, LogText::kProgramming, LogText::kProgrammed,
                             LogText::kVerified, LogText::kExited, LogText::kDisconnected})
        expected.push_back(line);
    EXPECT_EQ(rig.LinesFrom(LogText::kLoaded), expected);
    EXPECT_EQ(rig.sim.ResetCount(), reset ? 1 : 0);
    EXPECT_EQ(rig.sim.EraseCount(), 1);
    EXPECT_TRUE(rig.sim.Exited());
    EXPECT_EQ(rig.sim.FlashCrc(image.start, image.length), image.crc);
    EXPECT_GE(rig.RequestsFor(CMD_PROGRAM),
              (image.lines + kRecordsPerBatch - 1) / kRecordsPerBatch);
    EXPECT_EQ(rangeAtEnd, static_cast<uint32_t>(image.lines));
    EXPECT_EQ(positionAtEnd, rangeAtEnd);  // full once the last record is read

    EXPECT_EQ(rig.dlg.Flashing(), 0);
    EXPECT_EQ(rig.dlg.Connected(), 0);
    EXPECT_FALSE(rig.dlg.Link().WithHexFile([](CHexFile& file) { return file.IsOpen(); }));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_IP_ADDRESS));
    EXPECT_EQ(rig.window.GetControlText(IDC_CONNECT), "Connect");
}

INSTANTIATE_TEST_SUITE_P(Reset, DialogFlash, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& test) {
                             return test.param ? "WithReset" : "WithoutReset";
                         });

TEST(DialogFlashFaults, VerifyMismatchStopsWithOnlyDisconnectLeft) {
    CDialogRig rig;
    const std::string path = WriteFirmware(600);
    const CImageOf image(path);
    const uint16_t wrong = static_cast<uint16_t>(image.crc ^ 0x0101);
    rig.sim.SetCustomReply(CMD_VERIFY,
                           {4, static_cast<uint8_t>(wrong), static_cast<uint8_t>(wrong >> 8)});
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.Load(path));
    rig.dlg.OnFlashFirmware();
    ASSERT_TRUE(rig.WaitForLine(LogText::kVerifyFailed, 10000));
    EXPECT_EQ(rig.Lines().back(), LogText::kVerifyFailed);
    EXPECT_EQ(rig.dlg.Flashing(), 1);
    EXPECT_EQ(rig.dlg.Connected(), 1);
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_CONNECT));
    EXPECT_FALSE(rig.sim.Exited());

    // A verify reply too short to hold a CRC confirms nothing, even if its Frame CRC matched.
    const uint8_t shortReply[] = {4, static_cast<uint8_t>(image.crc),
                                  static_cast<uint8_t>(image.crc >> 8)};
    rig.dlg.OnBootReply(3, shortReply);
    EXPECT_EQ(rig.Lines().back(), LogText::kVerifyFailed);
    EXPECT_EQ(rig.dlg.Connected(), 1);
    // Nothing was sent or logged meanwhile: the Disconnect's exit is the first one.
    ASSERT_TRUE(rig.DisconnectAndWaitForTheExit());
    EXPECT_EQ(rig.RequestsFor(CMD_EXIT), 1);
    EXPECT_EQ(rig.LastLines(3),
              (Lines{LogText::kVerifyFailed, LogText::kExited, LogText::kDisconnected}));
}

// Makes the unit fall silent the moment the log reaches `line`, before the next command goes.
void SilenceAt(CDialogRig& rig, const std::string& line) {
    rig.window.OnLogWritten([&rig, tail = line + "\r\n"](const std::string& log) {
        if (log.size() >= tail.size() &&
            log.compare(log.size() - tail.size(), tail.size(), tail) == 0)
            rig.sim.SetSilent(true);
    });
}

struct CStepCase {
    const char* label;
    const char* silenceAt;  // nullptr: silent before Flash Firmware
    int minMs, maxMs;
};

void PrintTo(const CStepCase& c, std::ostream* os) {
    *os << c.label;
}

class DialogFlashTimeout : public testing::TestWithParam<CStepCase> {};

TEST_P(DialogFlashTimeout, NoAnswerFailsTheStepAndRestoresTheFileLoadedControls) {
    const CStepCase& c = GetParam();
    CDialogRig rig;
    const std::string path = WriteFirmware(400);
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.Load(path));
    if (c.silenceAt == nullptr)
        rig.sim.SetSilent(true);
    else
        SilenceAt(rig, c.silenceAt);
    const auto start = std::chrono::steady_clock::now();
    rig.dlg.OnFlashFirmware();
    ASSERT_TRUE(rig.WaitForLine(LogText::kNoResponse, c.maxMs + 3000)) << rig.dlg.LogText();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    EXPECT_GE(took.count(), c.minMs);
    EXPECT_LE(took.count(), c.maxMs);
    ExpectFileLoadedControls(rig);
    EXPECT_EQ(rig.window.GetControlText(IDC_CONNECT), "Disconnect");
    EXPECT_EQ(rig.dlg.Connected(), 1);
}

INSTANTIATE_TEST_SUITE_P(Steps, DialogFlashTimeout,
                         testing::Values(CStepCase{"Erase", nullptr, 9500, 13000},
                                         CStepCase{"Program", LogText::kProgramming, 900, 4000},
                                         CStepCase{"Verify", LogText::kProgrammed, 9500, 13000}),
                         [](const testing::TestParamInfo<CStepCase>& test) {
                             return test.param.label;
                         });

TEST(DialogFlashFaults, LateEraseReplyAfterTheTimeoutIsLoggedButDoesNotProgram) {
    CDialogRig rig;
    const std::string path = WriteFirmware(400);
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.Load(path));
    // Erase answered only after its tries ran out: the time-out is reported first.
    CFaultConfig faults;
    faults.delayReply = 1.0;
    faults.delayReplyMs = 10600;
    rig.sim.SetFaults(faults);
    rig.dlg.OnFlashFirmware();
    ASSERT_TRUE(rig.WaitForLine(LogText::kNoResponse, 14000));
    ExpectFileLoadedControls(rig);
    ASSERT_TRUE(rig.WaitForLine(LogText::kProgramming, 4000)) << rig.dlg.LogText();
    EXPECT_EQ(rig.dlg.Flashing(), 0);
    ExpectFileLoadedControls(rig);
    EXPECT_EQ(rig.LinesFrom(LogText::kNoResponse)[1], LogText::kProgramming);
    // Every request sent before the Disconnect's exit has arrived with it.
    ASSERT_TRUE(rig.DisconnectAndWaitForTheExit());
    EXPECT_EQ(rig.RequestsFor(CMD_PROGRAM), 0);
}

TEST(DialogFlashFaults, DisconnectDuringProgrammingSendsExitAndStops) {
    CDialogRig rig;
    const std::string path = WriteFirmware(96 * 1024);  // long enough to interrupt
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.Load(path));
    rig.dlg.OnFlashFirmware();
    ASSERT_TRUE(rig.window.PumpUntil(
        [&] {
            rig.window.FireTimer(kProgressTimerId);
            return rig.dlg.Link().CurrentCommand() == CMD_PROGRAM &&
                   rig.window.Control(IDC_PROGRESS).position >= 50;
        },
        10000));
    rig.dlg.OnConnect();
    EXPECT_EQ(rig.LinesFrom(LogText::kExited), (Lines{LogText::kExited, LogText::kDisconnected}));
    EXPECT_EQ(rig.RequestsFor(CMD_EXIT), 1);
    EXPECT_FALSE(rig.dlg.Link().WorkerRunning());
    const size_t requests = rig.sim.RequestCount();
    // The worker is gone: once the dialog has taken what it left, nothing more can happen.
    ASSERT_TRUE(rig.window.PumpUntil([&] { return !rig.NotificationsWaiting(); }, 2000));
    EXPECT_EQ(rig.sim.RequestCount(), requests);
    EXPECT_EQ(rig.Lines().back(), LogText::kDisconnected);
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_UDP_PORT));
}

// Flash Firmware looks at the file again: what changed since Load without changing its
// identity is still refused before anything is sent.
TEST(DialogFlashChecks, NothingIsErasedWhenTheFileCannotBeProgrammed) {
    CDialogRig rig;
    ASSERT_TRUE(rig.Connect());
    const struct {
        std::string text;
        const char* line;
    } cases[] = {
        {"", "No firmware file is open; load one first. Nothing erased."},
        {"; build 12\n:0400000001020304F2\n:00000001FF\n",
         "Firmware file does not start with a record; nothing erased."},
        {"\n", "Firmware file does not start with a record; nothing erased."},
        // Boot flash only: nothing lands in the program flash image.
        {":020000041FC01B\n:0400000001020304F2\n:00000001FF\n",
         "Firmware file has no data to program; nothing erased."},
        {":020000041D00DD\n:0400000001020305F2\n:00000001FF\n",
         "Firmware file has a damaged record on line 2 (checksum F2, expected F1); nothing "
         "erased."},
    };
    for (const auto& c : cases) {
        const std::string path = WriteFirmware(200);
        ASSERT_TRUE(rig.Load(path));
        if (c.text.empty()) {
            rig.window.SetChooserAnswer("", false);  // a cancelled Load closes the file
            rig.dlg.OnLoadFirmware();
            EXPECT_EQ(rig.dlg.LastLogLine(), LogText::kLoadFailed);
        } else {
            RewriteUnseen(path, c.text);
        }
        EXPECT_TRUE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
        rig.dlg.OnFlashFirmware();
        EXPECT_EQ(rig.dlg.LastLogLine(), c.line);
        EXPECT_EQ(rig.dlg.Outcome(), EOutcome::kRefused);
        ExpectFileLoadedControls(rig);
    }
    ASSERT_TRUE(rig.DisconnectAndWaitForTheExit());
    EXPECT_EQ(rig.RequestsFor(CMD_ERASE), 0);
    EXPECT_EQ(rig.RequestsFor(CMD_RESET_DEFAULTS), 0);
    EXPECT_EQ(rig.sim.EraseCount(), 0);
}

// What Flash Firmware would refuse, Load refuses: the reason on a line of its own, then the
// usual failure, and the file is not kept.
TEST(DialogFlashChecks, LoadRefusesWhatFlashWouldRefuse) {
    CDialogRig rig;
    ASSERT_TRUE(rig.Connect());
    // A generated file with one data digit changed, as a bad copy or a bad edit leaves it.
    const std::string generated = WriteFirmware(200);
    std::string damaged = ReadAll(generated);
    const size_t digit = damaged.find('\n') + 1 + 9;  // line 2, first data digit
    damaged[digit] = damaged[digit] == '0' ? '1' : '0';
    std::string longLine = ":FF000000";
    while (longLine.size() < 1205) longLine += "A5";
    longLine.resize(1205);
    const std::string ela = ":020000041D00DD\n";
    const struct {
        std::string text;
        std::string line;
    } cases[] = {
        {damaged, "Firmware file has a damaged record on line 2 (checksum "},
        {ela + ":04000000010G0304F2\n:00000001FF\n",
         "Firmware file has a damaged record on line 2 (character 'G' in column 13 is not a hex "
         "digit); nothing erased."},
        {ela + longLine + "\n:00000001FF\n",
         "Firmware file has a damaged record on line 2 (1205 characters, at most 521); nothing "
         "erased."},
        {ela + longLine.substr(0, 995) + "\n:00000001FF\n",
         "Firmware file has a damaged record on line 2 (995 characters, at most 521); nothing "
         "erased."},
        {"release notes\n", "Firmware file does not start with a record; nothing erased."},
        {ela + "\n:0400000001020304F2\n",
         "Firmware file has a line that is not a record before its last record (line 2); "
         "nothing erased."},
        {":00000001FF\n", "Firmware file has no data to program; nothing erased."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_TRUE(rig.Load(generated));
        rig.window.SetChooserAnswer(WriteText(c.text));
        rig.dlg.OnLoadFirmware();
        const Lines lines = rig.Lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2].substr(0, c.line.size()), c.line);
        EXPECT_EQ(lines.back(), LogText::kLoadFailed);
        EXPECT_EQ(rig.dlg.Outcome(), EOutcome::kLoadFailed);
        EXPECT_FALSE(rig.dlg.Link().WithHexFile([](CHexFile& file) { return file.IsOpen(); }));
        rig.dlg.OnFlashFirmware();
        EXPECT_EQ(rig.dlg.LastLogLine(),
                  "No firmware file is open; load one first. Nothing erased.");
    }
    rig.window.PumpFor(200);
    EXPECT_EQ(rig.RequestsFor(CMD_ERASE), 0);
    EXPECT_EQ(rig.sim.EraseCount(), 0);
}

TEST(DialogFlashChecks, FileGoneAfterTheEraseIsReportedAndGivesTheControlsBack) {
    CDialogRig rig;
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.Load(WriteFirmware(200)));
    rig.dlg.OnFlashFirmware();
    rig.dlg.Link().CloseFile();  // before the erase reply is handled
    ASSERT_TRUE(rig.WaitForLine(LogText::kNotProgrammed, 5000));
    EXPECT_EQ(rig.sim.EraseCount(), 1);
    EXPECT_EQ(rig.RequestsFor(CMD_PROGRAM), 0);
    ExpectFileLoadedControls(rig);
}

TEST(DialogFlashChecks, FailedLoadLogsAndChangesNoControl) {
    CDialogRig rig;
    ASSERT_TRUE(rig.Connect());
    rig.window.SetChooserAnswer(TempPath(".missing.hex"));
    rig.dlg.OnLoadFirmware();
    EXPECT_EQ(rig.dlg.LastLogLine(), LogText::kLoadFailed);
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    ASSERT_FALSE(rig.window.m_chooserFilters.empty());
    EXPECT_EQ(rig.window.m_chooserFilters.back(), "Hex File (*.hex)|*.hex|");
}

}  // namespace
