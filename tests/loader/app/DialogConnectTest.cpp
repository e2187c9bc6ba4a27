// SPDX-License-Identifier: Apache-2.0
// Connect and Disconnect against the simulated unit on 127.0.0.1.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>

#include "DialogRig.h"
#include "LogText.h"

namespace {

struct CVersionCase {
    const char* label;
    const char* name;
    uint8_t major, minor;
    const char* line;
    bool resetShown;
};

void PrintTo(const CVersionCase& c, std::ostream* os) {
    *os << c.label;
}

class DialogVersions : public testing::TestWithParam<CVersionCase> {};

TEST_P(DialogVersions, ConnectLogsTheNameAndVersionAndShowsResetFrom104) {
    const CVersionCase& c = GetParam();
    CDialogRig rig(LoopbackUnit(c.name, c.major, c.minor));
    rig.window.CheckControl(IDC_RESET_DEFAULTS, true);  // left over from an earlier unit
    ASSERT_TRUE(rig.Connect());
    EXPECT_EQ(rig.Lines(), (std::vector<std::string>{LogText::kAttemptingToConnect,
                                                     LogText::kConnected, c.line}));
    EXPECT_EQ(rig.window.IsControlVisible(IDC_RESET_DEFAULTS), c.resetShown);
    if (!c.resetShown) {
        EXPECT_FALSE(rig.window.IsControlChecked(IDC_RESET_DEFAULTS));
    }
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_CONNECT));
    EXPECT_EQ(rig.window.GetControlText(IDC_CONNECT), "Disconnect");
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_IP_ADDRESS));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_UDP_PORT));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DialogVersions,
    testing::Values(CVersionCase{"NoName104", "", 1, 4, "Device bootloader v1.04", true},
                    CVersionCase{"NoName103", "", 1, 3, "Device bootloader v1.03", false},
                    CVersionCase{"NoName200", "", 2, 0, "Device bootloader v2.00", true},
                    CVersionCase{"NoName1205", "", 12, 5, "Device bootloader v12.05", true},
                    CVersionCase{"Named104", "ABC", 1, 4, "ABC bootloader v1.04", true}),
    [](const testing::TestParamInfo<CVersionCase>& test) { return test.param.label; });

TEST(DialogConnect, ConnectWakesTheUnitAndDisconnectSendsExitOnce) {
    CDialogRig rig;
    ASSERT_TRUE(rig.Connect());
    EXPECT_EQ(rig.window.m_timers.at(kProgressTimerId), kProgressTimerMs);
    const std::vector<CSeenRequest> seen = rig.sim.Requests();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_TRUE(seen[0].wakeup);
    EXPECT_EQ(seen[0].wakeText, "remotebootlstd");
    EXPECT_EQ(seen[1].command, CMD_READ_VERSION);
    rig.window.FireTimer(kProgressTimerId);  // a completed reply fills the bar
    EXPECT_EQ(rig.window.Control(IDC_PROGRESS).rangeHigh, 24u);
    EXPECT_EQ(rig.window.Control(IDC_PROGRESS).position, 24u);

    const auto start = std::chrono::steady_clock::now();
    rig.dlg.OnConnect();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(950));  // the worker's stop wait
    EXPECT_EQ(rig.Lines().back(), LogText::kDisconnected);
    EXPECT_EQ(rig.LinesFrom(LogText::kExited).size(), 2u);
    EXPECT_EQ(rig.RequestsFor(CMD_EXIT), 1);
    EXPECT_TRUE(rig.sim.Exited());
    EXPECT_FALSE(rig.dlg.Link().IsOpen());
    EXPECT_FALSE(rig.dlg.Link().WorkerRunning());
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_IP_ADDRESS));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_UDP_PORT));
    EXPECT_EQ(rig.window.GetControlText(IDC_CONNECT), "Connect");
    rig.window.FireTimer(kProgressTimerId);  // the exit command's one try
    EXPECT_EQ(rig.window.Control(IDC_PROGRESS).rangeHigh, 1u);
    EXPECT_EQ(rig.window.Control(IDC_PROGRESS).position, 1u);
}

TEST(DialogConnect, ExtendedTimingWakesWithItsOwnVariant) {
    CDialogRig rig;
    rig.window.CheckControl(IDC_STANDARD_TIMEOUT, false);
    ASSERT_TRUE(rig.Connect());
    const std::vector<CSeenRequest> seen = rig.sim.Requests();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].wakeText, "remotebootlext");
    rig.window.FireTimer(kProgressTimerId);
    EXPECT_EQ(rig.window.Control(IDC_PROGRESS).rangeHigh, 20u);
}

TEST(DialogConnect, PortAbove65535ReachesTheUnitByItsLow16Bits) {
    CDialogRig rig;
    rig.window.TypeAddress("127.0.0.1");
    rig.window.TypePort(std::to_string(rig.sim.Port() + 65536u));
    rig.dlg.OnConnect();
    ASSERT_TRUE(rig.window.PumpUntil([&] { return rig.dlg.Connected() != 0; }, 3000));
    EXPECT_EQ(rig.dlg.Port(), rig.sim.Port() + 65536u);
    EXPECT_EQ(ntohs(rig.dlg.Link().UdpLink().Destination().sin_port), rig.sim.Port());
    EXPECT_EQ(rig.dlg.Link().UdpLink().Destination().sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(rig.window.GetControlText(IDC_UDP_PORT), std::to_string(rig.sim.Port() + 65536u));
}

TEST(DialogConnect, RefusedPortConnectsWithThePreviousOne) {
    CDialogRig rig;
    rig.window.TypeAddress("127.0.0.1");
    rig.window.TypePort(std::to_string(rig.sim.Port()));
    ASSERT_TRUE(rig.dlg.ExchangeData(true));
    rig.window.TypePort("port");
    rig.dlg.OnConnect();
    ASSERT_EQ(rig.window.m_boxes.size(), 1u);
    EXPECT_EQ(rig.window.m_boxes[0].text, "Enter a positive integer.");
    EXPECT_TRUE(rig.window.PumpUntil([&] { return rig.dlg.Connected() != 0; }, 3000));
    EXPECT_EQ(rig.window.GetControlText(IDC_UDP_PORT), std::to_string(rig.sim.Port()));
}

TEST(DialogConnect, SilentUnitTimesOutAfterAbout7Point7SecondsAndRestoresTheStartControls) {
    CUnitSimConfig config = LoopbackUnit();
    config.faults.silent = true;
    CDialogRig rig(config);
    rig.window.TypeAddress("127.0.0.1");
    rig.window.TypePort(std::to_string(rig.sim.Port()));
    const auto start = std::chrono::steady_clock::now();
    rig.dlg.OnConnect();
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_CONNECT));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_IP_ADDRESS));
    ASSERT_TRUE(rig.WaitForLine(LogText::kNoResponse, 15000));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(7000));
    EXPECT_LE(took, std::chrono::milliseconds(12000));
    EXPECT_EQ(rig.RequestsFor(CMD_READ_VERSION), 23);
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_CONNECT));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_IP_ADDRESS));
    EXPECT_TRUE(rig.window.IsControlEnabled(IDC_UDP_PORT));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_LOAD_FIRMWARE));
    EXPECT_FALSE(rig.window.IsControlEnabled(IDC_FLASH_FIRMWARE));
    EXPECT_EQ(rig.window.GetControlText(IDC_CONNECT), "Connect");
    // The worker stays; the next Connect replaces it and reaches a unit that answers.
    EXPECT_TRUE(rig.dlg.Link().WorkerRunning());
    rig.sim.SetSilent(false);
    EXPECT_TRUE(rig.Connect(4000));
}

// A link whose socket comes up without its receive time-out, or not at all.
class CFailingOpenDlg : public CQuillonDlg {
  public:
    CFailingOpenDlg(CRecordingWindow& window, bool socketHeld)
        : CQuillonDlg(window), m_box(window), m_socketHeld(socketHeld) {}

  protected:
    bool OpenLink(uint16_t port, uint32_t address) override {
        if (m_socketHeld) {
            (void)Link().Open(port, address);
            m_box.ShowErrorBox("Failed to set the receive time out!", nullptr);
        } else {
            m_box.ShowErrorBox("Socket creation failed!", "Socket Error");
        }
        return false;
    }

  private:
    IMessageBox& m_box;
    bool m_socketHeld;
};

TEST(DialogConnect, FailedOpenStartsNoWorkerAndKeepsNoSocket) {
    for (const bool socketHeld : {true, false}) {
        CRecordingWindow window;
        CFailingOpenDlg dlg(window, socketHeld);
        window.Attach(dlg);
        window.TypeAddress("127.0.0.1");
        dlg.OnConnect();
        EXPECT_FALSE(dlg.Link().IsOpen());
        EXPECT_FALSE(dlg.Link().WorkerRunning());
        EXPECT_EQ(dlg.LogText(), "");
        EXPECT_TRUE(window.m_timers.empty());
        EXPECT_TRUE(window.IsControlEnabled(IDC_CONNECT));
        EXPECT_TRUE(window.IsControlEnabled(IDC_IP_ADDRESS));
        ASSERT_EQ(window.m_boxes.size(), 1u);
        EXPECT_TRUE(window.m_boxes[0].error);
        EXPECT_EQ(window.m_boxes[0].caption, socketHeld ? "" : "Socket Error");
    }
}

TEST(DialogConnect, NameWithoutAZeroByteStopsAtTheReplysEnd) {
    CDialogRig rig;
    rig.sim.SetCustomReply(CMD_READ_VERSION, {1, 1, 5, 'U', 'N', 'I', 'T', '9'});
    ASSERT_TRUE(rig.Connect());
    EXPECT_EQ(rig.Lines().back(), "UNIT9 bootloader v1.05");
}

}  // namespace
