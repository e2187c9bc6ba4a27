// SPDX-License-Identifier: Apache-2.0
// What the dialog takes from the network: only its unit's answers, a send the system refuses,
// and a unit's name, which may hold any byte.
#include <gtest/gtest.h>

#include <cerrno>

#include "DialogRig.h"
#include "LogText.h"

namespace {

// The unit answers its own verify with a CRC that is not the file's; another host on 127.0.0.2
// (another unit flashed with the same file) answers with the file's CRC first.
TEST(DialogPeer, AVerifyReplyFromAnotherHostIsNotTheUnitsAnswer) {
    CUnitSimConfig config = LoopbackUnit("Unit");
    config.faults.delayReply = 1.0;  // every answer of the unit comes late, the verify too
    config.faults.delayReplyMs = 200;
    CDialogRig rig(config);
    ASSERT_TRUE(rig.Connect(5000));
    const std::string fw = WriteFirmware(64);
    ASSERT_TRUE(rig.Load(fw));
    const CImageOf image(fw);
    const auto crcLow = static_cast<uint8_t>(image.crc & 0xFF);
    const auto crcHigh = static_cast<uint8_t>(image.crc >> 8);
    rig.sim.SetCustomReply(
        CMD_VERIFY, {CMD_VERIFY, static_cast<uint8_t>(~crcLow), static_cast<uint8_t>(~crcHigh)});
    rig.dlg.OnFlashFirmware();
    ASSERT_TRUE(rig.window.PumpUntil([&] { return rig.RequestsFor(CMD_VERIFY) > 0; }, 10000));
    SendFrameToLink(rig.dlg, {CMD_VERIFY, crcLow, crcHigh}, "127.0.0.2");
    ASSERT_TRUE(rig.window.PumpUntil([&] { return !rig.dlg.FlashInProgress(); }, 10000));
    EXPECT_EQ(rig.dlg.Outcome(), EOutcome::kVerifyFailed);
    EXPECT_FALSE(rig.HasLine(LogText::kVerified));
    EXPECT_EQ(rig.dlg.LastLogLine(), LogText::kVerifyFailed);
}

// Port 0 is a destination the system refuses at once, without a datagram leaving.
TEST(DialogPeer, ASendTheSystemRefusesIsSaidOncePerCommandWhileTheTriesGoOn) {
    CRecordingWindow window;
    CQuillonDlg dlg(window);
    window.Attach(dlg);
    window.TypeAddress("127.0.0.1");
    window.TypePort("0");
    dlg.OnConnect();
    const auto triesUsed = [&] {
        uint32_t done = 0, total = 0;
        dlg.Link().GetProgress(done, total);
        return done;
    };
    ASSERT_TRUE(window.PumpUntil([&] { return triesUsed() >= 4; }, 5000));
    window.PumpFor(50);
    const std::string said = "Network error: Invalid argument.";
    const std::string& log = dlg.LogText();
    EXPECT_EQ(log.find(said), log.rfind(said)) << log;
    EXPECT_EQ(log, "Attempting to connect...\r\n" + said + "\r\n");
    EXPECT_EQ(dlg.SendError(), EINVAL);
    EXPECT_EQ(dlg.Outcome(), EOutcome::kNone);  // still trying: the ending stays "No response"
}

// A name with ESC, BEL, CR and LF: the log box shows each as U+FFFD, on the version line's own
// line; the version line as data keeps every byte.
TEST(DialogPeer, AUnitsNameShowsItsControlBytesAsReplacementCharacters) {
    const std::string name = "\x1b[31m\a\r\nDone.";
    CDialogRig rig(LoopbackUnit(name));
    ASSERT_TRUE(rig.Connect(5000));
    const std::vector<std::string> shown{"Attempting to connect...", "Connected.",
                                         "\uFFFD[31m\uFFFD\uFFFD\uFFFDDone. bootloader v1.04"};
    EXPECT_EQ(rig.Lines(), shown);
    rig.dlg.ExchangeData(true);  // the log read back from its box, as every Connect does
    EXPECT_EQ(rig.Lines(), shown);
    EXPECT_EQ(rig.dlg.VersionLine(), name + " bootloader v1.04");
}

}  // namespace
