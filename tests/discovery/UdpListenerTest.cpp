// SPDX-License-Identifier: Apache-2.0
// The real POSIX listener on loopback, driven by frmMain's logic with the recording layer.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "LoopbackSender.h"
#include "RecordingLayer.h"
#include "core/FrmMain.h"
#include "core/UdpAnnounceSocket.h"

namespace {

class UdpListenerTest : public testing::Test {
  protected:
    // Delivers one arrival once a datagram is waiting, as the window's notifier would.
    bool ArriveOne() {
        if (!WaitReadable(m_socket.Descriptor())) return false;
        m_frm.sktListenAnnounce_DataArrival();
        return true;
    }

    CRecordingForm m_form;
    CRecordingList m_list;
    CRecordingTimer m_timer;
    CRecordingMessageBox m_box;
    CUdpAnnounceSocket m_socket;
    CFrmMain m_frm{m_form, m_list, m_timer, m_box, m_socket, 0};
    CLoopbackSender m_sender;
    CLoopbackSender m_otherSender;  // another source port
};

TEST_F(UdpListenerTest, AnnouncesFromAnySourcePortAreListedWithTheSenderAddress) {
    m_frm.Form_Load();
    ASSERT_TRUE(m_box.m_texts.empty());
    const uint16_t port = m_socket.LocalPort();
    ASSERT_NE(port, 0);

    ASSERT_TRUE(m_sender.Send(port, "Boiler\r\n00-04-A3-00-00-01\r\nready\r\nextra line"));
    ASSERT_TRUE(ArriveOne());
    ASSERT_TRUE(m_otherSender.Send(port, "Boiler two\r\n00-04-a3-00-00-01\r\nstill ready"));
    ASSERT_TRUE(ArriveOne());
    ASSERT_TRUE(m_sender.Send(port, "short\r\nx\r\ny"));
    ASSERT_TRUE(ArriveOne());

    ASSERT_EQ(m_list.RowCount(), 1);
    EXPECT_EQ(m_list.Row(1).text, "Boiler two");
    EXPECT_EQ(m_list.Row(1).subItems[0], "00-04-A3-00-00-01");
    EXPECT_EQ(m_list.Row(1).subItems[1], "127.0.0.1");
    EXPECT_EQ(m_list.Row(1).subItems[2], "still ready");
    EXPECT_TRUE(m_box.m_texts.empty());
}

TEST_F(UdpListenerTest, LargestDatagramIsReadWhole) {
    m_frm.Form_Load();
    std::string payload = "Big\r\nmac-big\r\n";
    payload.append(65507 - payload.size() - 1, 'x');
    payload += 'E';
    ASSERT_TRUE(m_sender.Send(m_socket.LocalPort(), payload));
    ASSERT_TRUE(ArriveOne());
    ASSERT_EQ(m_list.RowCount(), 1);
    EXPECT_EQ(m_list.Row(1).subItems[2].size(), 65507u - 14u);
    EXPECT_EQ(m_list.Row(1).subItems[2].back(), 'E');
}

TEST_F(UdpListenerTest, SpuriousWakeWithNothingWaitingIsNotAnError) {
    m_frm.Form_Load();
    m_frm.sktListenAnnounce_DataArrival();
    EXPECT_TRUE(m_box.m_texts.empty());
    EXPECT_EQ(m_list.RowCount(), 1);
}

TEST(UdpListenerBind, PortHeldByAnotherProgramFailsStepFortyAndStartUpGoesOn) {
    CPortHolder holder;
    ASSERT_NE(holder.Port(), 0);
    CRecordingForm form;
    CRecordingList list;
    CRecordingTimer timer;
    CRecordingMessageBox box;
    CUdpAnnounceSocket socket;
    CFrmMain frm(form, list, timer, box, socket, holder.Port());
    frm.Form_Load();
    ASSERT_EQ(box.m_texts.size(), 1u);
    EXPECT_EQ(box.m_texts[0], "Error " + std::to_string(EADDRINUSE) + " (UDP port " +
                                  std::to_string(holder.Port()) +
                                  " is already in use by another program) in procedure Form_Load "
                                  "of Form frmMain on line 40");
    EXPECT_FALSE(socket.IsBound());
    EXPECT_TRUE(timer.m_running);
    EXPECT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.Row(1).text, "Scanning...");
}

TEST(UdpListenerBind, UnloadClosesTheSocketSoThePortIsFreeAgain) {
    CUdpAnnounceSocket first;
    ASSERT_TRUE(first.SetProtocolUdp().Ok());
    ASSERT_TRUE(first.Bind(0).Ok());
    const uint16_t port = first.LocalPort();
    CUdpAnnounceSocket second;
    ASSERT_TRUE(second.SetProtocolUdp().Ok());
    EXPECT_EQ(second.Bind(port).number, EADDRINUSE) << "no address reuse";
    first.Close();
    EXPECT_EQ(first.LocalPort(), 0);
    EXPECT_TRUE(second.Bind(port).Ok());
}

}  // namespace
