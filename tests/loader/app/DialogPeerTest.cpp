// What the dialog takes from the network: only its unit's answers.
#include <gtest/gtest.h>

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
    rig.sim.SetCustomReply(CMD_VERIFY,
                           {CMD_VERIFY, static_cast<uint8_t>(~crcLow), static_cast<uint8_t>(~crcHigh)});
    rig.dlg.OnFlashFirmware();
    ASSERT_TRUE(rig.window.PumpUntil([&] { return rig.RequestsFor(CMD_VERIFY) > 0; }, 10000));
    SendFrameToLink(rig.dlg, {CMD_VERIFY, crcLow, crcHigh}, "127.0.0.2");
    ASSERT_TRUE(rig.window.PumpUntil([&] { return !rig.dlg.FlashInProgress(); }, 10000));
    EXPECT_EQ(rig.dlg.Outcome(), EOutcome::kVerifyFailed);
    EXPECT_FALSE(rig.HasLine(LogText::kVerified));
    EXPECT_EQ(rig.dlg.LastLogLine(), LogText::kVerifyFailed);
}

}  // namespace
