// SPDX-License-Identifier: Apache-2.0
// frmMain's logic against the recording window layer: start-up, rows, ageing, resizing, reports.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "RecordingLayer.h"
#include "core/FrmMain.h"

namespace {

using Texts = std::vector<std::string>;

class FrmMainTest : public testing::Test {
  protected:
    void Load() { m_frm.Form_Load(); }
    void Tick(int times = 1) {
        for (int i = 0; i < times; ++i) m_frm.tmrTimeout_Timer();
    }
    void Announce(const std::string& name, const std::string& mac,
                  const std::string& ip = "10.0.0.5", const std::string& message = "ready") {
        m_frm.AddDeviceToList(name, mac, ip, message);
    }
    int Countdown(int row) const { return m_list.Row(row).tag; }

    CRecordingForm m_form;
    CRecordingList m_list;
    CRecordingTimer m_timer;
    CRecordingMessageBox m_box;
    CRecordingSocket m_socket;
    CFrmMain m_frm{m_form, m_list, m_timer, m_box, m_socket};
};

TEST_F(FrmMainTest, LoadOpensListenerSizesWindowAndShowsPlaceholder) {
    Load();
    EXPECT_TRUE(m_box.m_texts.empty());
    EXPECT_TRUE(m_socket.m_bound);
    EXPECT_EQ(m_socket.m_boundPort, 30303);
    EXPECT_EQ(m_list.Left(), 0);
    EXPECT_EQ(m_list.Top(), 0);
    EXPECT_EQ(m_form.ClientWidth(), kListWidthTwips);
    EXPECT_EQ(m_form.ClientHeight(), kListHeightTwips);
    EXPECT_EQ(m_timer.m_interval, 1000);
    EXPECT_TRUE(m_timer.m_running);
    EXPECT_EQ(m_list.Texts(), Texts{"Scanning..."});
    EXPECT_EQ(m_list.Row(1).subItems[0], "");
    EXPECT_EQ(m_list.Row(1).icon, "");

    Tick(20);
    EXPECT_EQ(m_list.Texts(), Texts{"Scanning..."}) << "ticks change nothing on the placeholder";
}

TEST_F(FrmMainTest, FailedStepsAreReportedAndStartUpGoesOn) {
    m_socket.Fail("Bind");
    Load();
    ASSERT_EQ(m_box.m_texts.size(), 1u);
    EXPECT_EQ(m_box.m_titles[0], "Pellisk");
    EXPECT_EQ(m_box.m_texts[0],
              "Error 9999 (Injected failure) in procedure Form_Load of Form frmMain on line 40");
    EXPECT_EQ(m_form.ClientWidth(), kListWidthTwips);
    EXPECT_TRUE(m_timer.m_running);
    EXPECT_EQ(m_list.Texts(), Texts{"Scanning..."});
}

TEST_F(FrmMainTest, EveryNumberedStepOfLoadReportsItsOwnLine) {
    m_socket.Fail("SetProtocolUdp");
    m_list.Fail("Move");
    m_form.Fail("SetOuterWidth");
    m_form.Fail("SetOuterHeight");
    m_timer.Fail("SetInterval");
    m_timer.Fail("Start");
    m_list.Fail("AddRow");
    Load();
    const std::string tail = " in procedure Form_Load of Form frmMain on line ";
    ASSERT_EQ(m_box.m_texts.size(), 8u);
    // With no socket, the bind reports the listener's own error.
    EXPECT_EQ(m_box.m_texts[1], "Error 35604 (Listener is not open)" + tail + "40");
    const char* lines[] = {"30", "40", "60", "70", "80", "90", "100", "110"};
    for (std::size_t i = 0; i < 8; ++i) {
        const std::string& text = m_box.m_texts[i];
        EXPECT_EQ(text.substr(text.size() - tail.size() - std::strlen(lines[i])), tail + lines[i]);
    }
}

TEST_F(FrmMainTest, FirstAnnounceReplacesPlaceholderAndRefreshKeepsFirstMacText) {
    Load();
    Announce("Boiler", "00-04-a3-12-34-56", "10.0.0.5", "first");
    ASSERT_EQ(m_list.RowCount(), 1);
    EXPECT_EQ(m_list.Row(1).text, "Boiler");
    EXPECT_EQ(m_list.Row(1).subItems[0], "00-04-a3-12-34-56");
    EXPECT_EQ(m_list.Row(1).subItems[1], "10.0.0.5");
    EXPECT_EQ(m_list.Row(1).subItems[2], "first");
    EXPECT_EQ(m_list.Row(1).icon, "add");
    EXPECT_EQ(Countdown(1), 6);

    Tick(2);
    Announce("Boiler 2", "00-04-A3-12-34-56", "10.0.0.9", "second");
    ASSERT_EQ(m_list.RowCount(), 1);
    EXPECT_EQ(m_list.Row(1).text, "Boiler 2");
    EXPECT_EQ(m_list.Row(1).subItems[0], "00-04-a3-12-34-56") << "MAC keeps its first letter case";
    EXPECT_EQ(m_list.Row(1).subItems[1], "10.0.0.9");
    EXPECT_EQ(m_list.Row(1).subItems[2], "second");
    EXPECT_EQ(m_list.Row(1).icon, "");
    EXPECT_EQ(Countdown(1), 6);
    EXPECT_TRUE(m_box.m_texts.empty());
}

TEST_F(FrmMainTest, DifferentMacsGiveRowsInOrderOfFirstArrival) {
    Load();
    Announce("B", "mac-b");
    Announce("A", "mac-a");
    Announce("B again", "MAC-B");
    Announce("C", "mac-c");
    EXPECT_EQ(m_list.Texts(), (Texts{"B again", "A", "C"}));
    EXPECT_EQ(m_list.Row(1).icon, "");
    EXPECT_EQ(m_list.Row(2).icon, "add");
}

TEST_F(FrmMainTest, SilentDeviceIsMarkedOnSixthTickAndRemovedOnSeventh) {
    Load();
    Announce("Unit", "m1");
    Tick(5);
    EXPECT_EQ(Countdown(1), 1);
    EXPECT_EQ(m_list.Row(1).icon, "add") << "the add icon stays until marked or refreshed";
    Tick();
    EXPECT_EQ(Countdown(1), 0);
    EXPECT_EQ(m_list.Row(1).icon, "remove");

    // A late announce still saves it.
    Announce("Unit", "M1");
    EXPECT_EQ(Countdown(1), 6);
    EXPECT_EQ(m_list.Row(1).icon, "");
    Tick(6);
    EXPECT_EQ(m_list.Texts(), Texts{"Unit"});
    Tick();
    EXPECT_EQ(m_list.Texts(), Texts{"Scanning..."}) << "placeholder back in the same tick";
    EXPECT_EQ(m_list.Row(1).tag, kNoCountdown);
    Tick(3);
    EXPECT_EQ(m_list.Texts(), Texts{"Scanning..."});
    EXPECT_TRUE(m_box.m_texts.empty());
}

TEST_F(FrmMainTest, RowsRunningOutTogetherGoOnSuccessiveTicksTopFirst) {
    Load();
    Announce("A", "a");
    Announce("B", "b");
    Announce("C", "c");
    Tick(2);
    Announce("C", "c");  // C is refreshed and outlives the others
    Tick(4);
    EXPECT_EQ(m_list.Row(1).icon, "remove");
    EXPECT_EQ(m_list.Row(2).icon, "remove");
    Tick();
    EXPECT_EQ(m_list.Texts(), (Texts{"B", "C"}));
    EXPECT_EQ(Countdown(2), 2) << "rows after the removed one wait for the next tick";
    Tick();
    EXPECT_EQ(m_list.Texts(), Texts{"C"});
    EXPECT_EQ(Countdown(1), 2) << "a removing tick counts nothing down after the removed row";
    Tick();
    EXPECT_EQ(Countdown(1), 1);
}

TEST_F(FrmMainTest, DeviceCalledScanningIsStillADevice) {
    Load();
    Announce("Scanning...", "m1");
    Announce("Other", "m2");
    EXPECT_EQ(m_list.Texts(), (Texts{"Scanning...", "Other"})) << "the first row was not cleared";
    Tick(6);
    EXPECT_EQ(Countdown(1), 0) << "its rows age like any other";
    Tick(2);
    EXPECT_EQ(m_list.Texts(), Texts{"Scanning..."});
    EXPECT_EQ(m_list.Row(1).tag, kNoCountdown);
}

TEST_F(FrmMainTest, EmptyMacIsADeviceNotThePlaceholder) {
    Load();
    Announce("Blank", "");
    ASSERT_EQ(m_list.Texts(), Texts{"Blank"});
    EXPECT_EQ(m_list.Row(1).icon, "add");
    EXPECT_EQ(Countdown(1), 6);
}

TEST_F(FrmMainTest, AgeingCountsEveryRowBeyondTwoHundredFiftyFour) {
    Load();
    for (int i = 0; i < 300; ++i) Announce("Unit", "mac-" + std::to_string(i));
    ASSERT_EQ(m_list.RowCount(), 300);
    Tick(6);
    EXPECT_EQ(m_list.Row(300).icon, "remove");
    EXPECT_EQ(Countdown(255), 0);
    Announce("Late", "MAC-299");
    EXPECT_EQ(m_list.Row(300).text, "Late") << "the scan finds rows past 254 too";
    EXPECT_EQ(m_list.Row(300).icon, "");
    Tick(299);
    EXPECT_EQ(m_list.Texts(), Texts{"Late"}) << "every marked row went, one per tick";
}

TEST_F(FrmMainTest, FullListGivesUpTheOldestOneShotRowBeforeAnyRowHeardAgain) {
    Load();
    for (int i = 0; i < kMaxDeviceRows; ++i) Announce("U", std::to_string(i));
    Tick();
    for (int i = 0; i < kMaxDeviceRows; ++i) {
        if (i != 700 && i != 900) Announce("U", std::to_string(i));
    }
    Announce("U", "100");  // heard again last: silent shortest
    Tick();
    Announce("New", "new");
    ASSERT_EQ(m_list.RowCount(), kMaxDeviceRows);
    EXPECT_EQ(m_list.Row(701).subItems[0], "701") << "700 went: heard once, longest ago";
    EXPECT_EQ(m_list.Row(kMaxDeviceRows).text, "New");
    EXPECT_EQ(m_list.Row(kMaxDeviceRows).icon, "add");
    EXPECT_EQ(Countdown(kMaxDeviceRows), 6);
    Announce("Newer", "newer");
    EXPECT_EQ(m_list.Row(900).subItems[0], "901") << "then 900";
    Announce("Newest", "newest");
    EXPECT_EQ(m_list.Row(kMaxDeviceRows - 1).subItems[0], "newer")
        << "a one-shot row goes before any row heard again, however fresh it is";
    Announce("Known", "NEWER");
    EXPECT_EQ(m_list.Row(kMaxDeviceRows - 1).text, "Known") << "known units are refreshed";
    Announce("Again", "again");
    EXPECT_EQ(m_list.Row(kMaxDeviceRows - 1).subItems[0], "newer")
        << "a row heard twice is no longer a one-shot";
    EXPECT_EQ(m_list.Row(kMaxDeviceRows).subItems[0], "again");

    // Every row heard again: the one silent longest goes, however new the list thinks it is.
    for (int i = 0; i < kMaxDeviceRows; ++i) {
        std::string_view mac;
        ASSERT_TRUE(m_list.SubItem(i + 1, 1, &mac).Ok());
        if (mac != "again") Announce("R", std::string(mac));
    }
    Announce("R", "again");
    Announce("Last", "last");
    EXPECT_EQ(m_list.Row(1).subItems[0], "1") << "row 1 was refreshed first of all";
    EXPECT_EQ(m_list.Row(kMaxDeviceRows).subItems[0], "last");
    EXPECT_EQ(m_list.RowCount(), kMaxDeviceRows);
    EXPECT_TRUE(m_box.m_texts.empty());
}

TEST_F(FrmMainTest, UnitAnnouncingEveryTwoSecondsStaysThroughAThousandOneShotMacsASecond) {
    Load();
    const std::string steady = "00-04-A3-12-34-56";
    Announce("Steady", steady);
    Tick();
    Announce("Steady", steady);
    // Twenty seconds of flood, one tick a second; on today's list the steady unit would go and
    // come back about every two seconds.
    int fake = 0;
    for (int second = 0; second < 20; ++second) {
        for (int i = 0; i < 1000; ++i) Announce("Fake", "fake-" + std::to_string(fake++));
        if (second % 2 == 1) Announce("Steady", steady);
        int row = 0;
        ASSERT_TRUE(m_list.FindDevice(steady, &row).Ok());
        ASSERT_GT(row, 0) << "second " << second;
        ASSERT_EQ(m_list.Row(row).icon, "") << "never taken for a new unit, second " << second;
        ASSERT_EQ(m_list.RowCount(), second == 0 ? 1001 : kMaxDeviceRows);
        Tick();
    }
    EXPECT_TRUE(m_box.m_texts.empty());
}

TEST_F(FrmMainTest, UnitIsListedAtItsNextAnnounceThroughAFloodOfFiveThousandFakes) {
    Load();
    const auto listed = [this](const std::string& mac) {
        for (int row = 1; row <= m_list.RowCount(); ++row) {
            if (m_list.Row(row).subItems[0] == mac) return true;
        }
        return false;
    };
    // Five seconds of flood, one tick a second; the real unit announces once a second.
    for (int second = 0; second < 5; ++second) {
        for (int i = 0; i < 1000; ++i)
            Announce("Fake", "fake-" + std::to_string(second * 1000 + i));
        Announce("Steady", "00-04-A3-00-00-01");
        ASSERT_TRUE(listed("00-04-A3-00-00-01")) << "second " << second;
        ASSERT_LE(m_list.RowCount(), kMaxDeviceRows);
        Tick();
    }
    Announce("Late", "00-04-A3-00-00-02");
    ASSERT_EQ(m_list.Row(m_list.RowCount()).text, "Late") << "listed with its first announce";
    EXPECT_EQ(m_list.Row(m_list.RowCount()).icon, "add");
    EXPECT_TRUE(m_box.m_texts.empty());
}

TEST_F(FrmMainTest, FailedLookUpIsStepFortyAndTheAnnounceMakesANewRow) {
    Load();
    Announce("A", "a");
    m_list.Fail("FindDevice");
    Announce("A2", "a");
    ASSERT_EQ(m_box.m_texts.size(), 1u);
    EXPECT_NE(m_box.m_texts[0].find("AddDeviceToList of Form frmMain on line 40"),
              std::string::npos);
    EXPECT_EQ(m_list.Texts(), (Texts{"A", "A2"})) << "no row was overwritten";
}

TEST_F(FrmMainTest, FailedRemovalToMakeRoomIsReportedAndTheListDoesNotGrow) {
    Load();
    for (int i = 0; i < kMaxDeviceRows; ++i) Announce("U", std::to_string(i));
    m_list.Fail("RemoveRow");
    Announce("New", "new");
    ASSERT_EQ(m_box.m_texts.size(), 1u);
    EXPECT_EQ(m_box.m_texts[0],
              "Error 9999 (Injected failure) in procedure AddDeviceToList of Form frmMain on "
              "line 150");
    EXPECT_EQ(m_list.RowCount(), kMaxDeviceRows);
    EXPECT_EQ(m_list.Row(1).subItems[0], "0");
}

TEST_F(FrmMainTest, SubItemIndexComesFromTheColumnKeys) {
    int16_t index = -1;
    ASSERT_TRUE(CFrmMain::GetSubItemIndex(m_list, "mac", &index).Ok());
    EXPECT_EQ(index, 1);
    ASSERT_TRUE(CFrmMain::GetSubItemIndex(m_list, "device", &index).Ok());
    EXPECT_EQ(index, 0);
    ASSERT_TRUE(CFrmMain::GetSubItemIndex(m_list, "msg", &index).Ok());
    EXPECT_EQ(index, 3);
    EXPECT_EQ(CFrmMain::GetSubItemIndex(m_list, "MAC", &index).number, kErrNoSuchColumn);
}

TEST_F(FrmMainTest, MissingMacColumnIsReportedOnceAsStepFortyAndMatchesNothing) {
    Load();
    Announce("A", "a");
    Announce("B", "b");
    m_list.DropColumn("mac");
    Announce("A2", "a");
    ASSERT_EQ(m_box.m_texts.size(), 1u);
    EXPECT_EQ(m_box.m_texts[0],
              "Error 35602 (No column with that key) in procedure AddDeviceToList of Form "
              "frmMain on line 40");
    EXPECT_EQ(m_list.Texts(), (Texts{"A", "B", "A2"})) << "no row was overwritten";
}

TEST_F(FrmMainTest, AddDeviceGoesOnAfterAFailedStep) {
    Load();
    m_list.Fail("SetSmallIcon");
    Announce("A", "a", "10.1.1.1", "hi");
    ASSERT_EQ(m_box.m_texts.size(), 1u);
    EXPECT_NE(m_box.m_texts[0].find("AddDeviceToList of Form frmMain on line 250"),
              std::string::npos);
    EXPECT_EQ(m_list.Row(1).subItems[2], "hi");
    EXPECT_EQ(Countdown(1), 6);

    m_list.ClearFaults();
    m_list.Fail("AddRow");
    Announce("B", "b");
    ASSERT_EQ(m_box.m_texts.size(), 3u);
    EXPECT_NE(m_box.m_texts[1].find("on line 150"), std::string::npos);
    EXPECT_NE(m_box.m_texts[2].find("on line 160"), std::string::npos);
    EXPECT_EQ(m_list.Texts(), Texts{"A"}) << "no other row took the failed row's values";
}

TEST_F(FrmMainTest, TickGoesOnAfterAFailedStep) {
    Load();
    Announce("A", "a");
    Tick(6);
    m_list.Fail("RemoveRow");
    Tick();
    ASSERT_EQ(m_box.m_texts.size(), 1u);
    EXPECT_EQ(m_box.m_texts[0],
              "Error 9999 (Injected failure) in procedure tmrTimeout_Timer of Form frmMain on "
              "line 100");
    EXPECT_EQ(m_list.Texts(), Texts{"A"});
    m_list.ClearFaults();
    Tick();
    EXPECT_EQ(m_list.Texts(), Texts{"Scanning..."});
}

TEST_F(FrmMainTest, NoProcedureRunsInsideAnOpenReport) {
    Load();
    Announce("A", "a");
    Tick(6);
    m_socket.Queue("Other\r\nmac-other\r\nsomething long enough");
    int ticksWhileOpen = 0;
    m_box.m_whileOpen = [&] {
        m_frm.tmrTimeout_Timer();
        m_frm.sktListenAnnounce_DataArrival();
        ++ticksWhileOpen;
    };
    m_list.Fail("SetSubItem");
    Announce("A", "a");  // reports at 220 and 230
    EXPECT_EQ(ticksWhileOpen, 2);
    EXPECT_EQ(m_list.Texts(), Texts{"A"}) << "the tick inside the report did not remove A";
    EXPECT_EQ(m_socket.m_queue.size(), 1u) << "the datagram waits for the report to close";
    EXPECT_EQ(m_socket.m_notifying, (std::vector<bool>{false, true, false, true}));
}

TEST_F(FrmMainTest, ResizeGivesTheMessageColumnWhatIsLeft) {
    Load();
    m_frm.Form_Resize();
    EXPECT_EQ(m_list.Width(), 10215);
    EXPECT_EQ(m_list.Height(), 2895);
    EXPECT_EQ(m_list.ColumnWidth(4), 3665);

    m_form.m_clientWidth += 1500;
    m_form.m_clientHeight += 600;
    m_frm.Form_Resize();
    EXPECT_EQ(m_list.Height(), 3495);
    EXPECT_EQ(m_list.ColumnWidth(4), 5165);
    EXPECT_EQ(m_list.ColumnWidth(1), 2300);
    EXPECT_EQ(m_list.ColumnWidth(2), 2100);
    EXPECT_EQ(m_list.ColumnWidth(3), 1800);

    // A column the user dragged keeps its width and is taken into account.
    m_list.m_widths[1] = 3100;
    m_frm.Form_Resize();
    EXPECT_EQ(m_list.ColumnWidth(4), 4165);
}

TEST_F(FrmMainTest, MinimisedWindowLeavesMessageColumnAlone) {
    Load();
    m_frm.Form_Resize();
    m_form.m_minimised = true;
    m_form.m_clientWidth = 0;
    m_form.m_clientHeight = 0;
    m_frm.Form_Resize();
    EXPECT_EQ(m_list.ColumnWidth(4), 3665);
    m_form.m_minimised = false;
    m_form.m_clientWidth = 12000;
    m_form.m_clientHeight = 2895;
    m_frm.Form_Resize();
    EXPECT_EQ(m_list.ColumnWidth(4), 12000 - 6200 - 350);
}

TEST_F(FrmMainTest, NarrowWindowNeverGivesANegativeWidth) {
    Load();
    m_form.m_clientWidth = 3000;
    m_frm.Form_Resize();
    EXPECT_EQ(m_list.ColumnWidth(4), kMinMessageWidthTwips);
    EXPECT_TRUE(m_box.m_texts.empty());
}

TEST_F(FrmMainTest, MessageColumnFollowsTheFormulaDownToZero) {
    Load();
    m_form.m_clientWidth = 6200 + 350 + 300;
    m_frm.Form_Resize();
    EXPECT_EQ(m_list.ColumnWidth(4), 300) << "the floor is only for the negative case";
    m_form.m_clientWidth = 6200 + 350;
    m_frm.Form_Resize();
    EXPECT_EQ(m_list.ColumnWidth(4), 0);
    m_form.m_clientWidth = 6200 + 349;
    m_frm.Form_Resize();
    EXPECT_EQ(m_list.ColumnWidth(4), kMinMessageWidthTwips);
}

TEST_F(FrmMainTest, UnloadClosesListenerAndStopsTimer) {
    Load();
    m_frm.Form_Unload();
    EXPECT_FALSE(m_socket.m_open);
    EXPECT_FALSE(m_timer.m_running);
}

TEST_F(FrmMainTest, ArrivalsAreCheckedSplitAndListedWithTheSenderAddress) {
    Load();
    m_socket.Queue("Short\r\nmac\r\nmsg", 0x0A000001);  // too short
    m_socket.Queue("Only one separator\r\nand more text....", 0x0A000002);
    m_socket.Queue("Boiler\r\n00-04-A3-00-00-01\r\nready\r\nignored", 0xC0A80A07);
    m_socket.Queue("Boiler unit two\r\n00-04-a3-00-00-01\r\n", 0xC0A80A08);  // empty message
    for (int i = 0; i < 4; ++i) {
        m_frm.sktListenAnnounce_DataArrival();
        if (i == 1) {
            EXPECT_EQ(m_list.Texts(), Texts{"Scanning..."}) << "dropped without a trace";
        }
    }
    m_frm.sktListenAnnounce_DataArrival();  // nothing waiting
    ASSERT_EQ(m_list.RowCount(), 1);
    EXPECT_EQ(m_list.Row(1).subItems[0], "00-04-A3-00-00-01");
    EXPECT_EQ(m_list.Row(1).subItems[1], "192.168.10.8");
    EXPECT_EQ(m_list.Row(1).subItems[2], "");
    EXPECT_TRUE(m_box.m_texts.empty());
}

TEST_F(FrmMainTest, FailedReadIsReportedAsStepTwentyAndDropsTheDatagram) {
    Load();
    m_socket.Queue("Boiler\r\n00-04-A3-00-00-01\r\nready for work");
    m_socket.Fail("ReadDatagram");
    m_frm.sktListenAnnounce_DataArrival();
    ASSERT_EQ(m_box.m_texts.size(), 1u);
    EXPECT_EQ(m_box.m_texts[0],
              "Error 9999 (Injected failure) in procedure sktListenAnnounce_DataArrival of Form "
              "frmMain on line 20");
    EXPECT_EQ(m_list.Texts(), Texts{"Scanning..."});
}

}  // namespace
