// SPDX-License-Identifier: Apache-2.0
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "UdpLink.h"

namespace {

const uint32_t kLoopback = htonl(INADDR_LOOPBACK);

struct RecordingBox : IMessageBox {
    std::vector<std::pair<std::string, std::string>> shown;
    void ShowErrorBox(const char* text, const char* caption) override {
        shown.emplace_back(text, caption ? caption : "<default>");
    }
};

// A plain loopback peer on an ephemeral port, on 127.0.0.1 or another loopback address.
struct Peer {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    uint16_t port = 0;
    explicit Peer(uint32_t address = kLoopback) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        timeval tv{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~Peer() { ::close(fd); }
    std::vector<uint8_t> ReceiveFrom(sockaddr_in& from) {
        uint8_t buf[2048];
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        return n > 0 ? std::vector<uint8_t>(buf, buf + n) : std::vector<uint8_t>{};
    }
    void SendTo(const sockaddr_in& to, size_t size, uint8_t fill = 0x5A) {
        std::vector<uint8_t> data(size, fill);
        ::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    }
};

struct RecordingNotes : ILinkObserver {
    std::vector<std::string> notes;
    void OnDatagram(EDatagramWay, const uint8_t*, size_t) override {}
    void OnEngineNote(const char* text) override { notes.emplace_back(text); }
};

sockaddr_in LinkAddress(const CUdpLink& link) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = kLoopback;
    a.sin_port = htons(link.LocalPort());
    return a;
}

uint16_t ReceiveWithin(CUdpLink& link, uint8_t* buf, uint16_t capacity) {
    for (int i = 0; i < 100; ++i) {  // up to about a second
        if (const uint16_t n = link.Receive(buf, capacity)) return n;
    }
    return 0;
}

TEST(UdpLink, OpenAndCloseStates) {
    CUdpLink link;
    EXPECT_FALSE(link.IsOpen());
    link.Close();  // no socket: nothing happens
    EXPECT_FALSE(link.IsOpen());
    ASSERT_TRUE(link.Open(69, kLoopback));
    EXPECT_TRUE(link.IsOpen());
    // Port 69 goes out as 00 45; the address is stored as given.
    const auto* port = reinterpret_cast<const uint8_t*>(&link.Destination().sin_port);
    EXPECT_EQ(port[0], 0x00);
    EXPECT_EQ(port[1], 0x45);
    EXPECT_EQ(link.Destination().sin_addr.s_addr, kLoopback);
    link.Close();
    EXPECT_FALSE(link.IsOpen());
    link.Close();
    EXPECT_FALSE(link.IsOpen());
}

TEST(UdpLink, StoresPortZeroAndAddressZeroUnchecked) {
    CUdpLink link;
    ASSERT_TRUE(link.Open(0, 0));
    EXPECT_EQ(link.Destination().sin_port, 0);
    EXPECT_EQ(link.Destination().sin_addr.s_addr, 0u);
}

struct FailingSocket : CUdpLink {
    int CreateSocket() override { return -1; }
};
struct FailingTimeout : CUdpLink {
    bool SetReceiveTimeout(int) override { return false; }
};

TEST(UdpLink, ReportsSocketFailuresInTheirBoxes) {
    RecordingBox box;
    FailingSocket noSocket;
    noSocket.SetMessageBox(&box);
    EXPECT_FALSE(noSocket.Open(69, kLoopback));
    EXPECT_FALSE(noSocket.IsOpen());

    FailingTimeout noTimeout;
    noTimeout.SetMessageBox(&box);
    EXPECT_FALSE(noTimeout.Open(69, kLoopback));
    EXPECT_TRUE(noTimeout.IsOpen());                 // the socket stays held
    EXPECT_EQ(noTimeout.Destination().sin_port, 0);  // and no destination is stored

    ASSERT_EQ(box.shown.size(), 2u);
    EXPECT_EQ(box.shown[0],
              std::make_pair(std::string("Socket creation failed!"), std::string("Socket Error")));
    EXPECT_EQ(box.shown[1], std::make_pair(std::string("Failed to set the receive time out!"),
                                           std::string("<default>")));
}

TEST(UdpLink, SilentReceiveReturnsWithinTensOfMilliseconds) {
    CUdpLink link;
    ASSERT_TRUE(link.Open(9, kLoopback));
    uint8_t buf[256];
    EXPECT_EQ(link.Receive(buf, 245), 0);  // before the first send: no local port yet
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) EXPECT_EQ(link.Receive(buf, 245), 0);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_GE(ms, 80);   // it does wait
    EXPECT_LE(ms, 400);  // but about 10 ms a call, not seconds
}

TEST(UdpLink, SendsOneDatagramAndReceivesFromAnySender) {
    Peer device;
    Peer stranger;
    CUdpLink link;
    ASSERT_TRUE(link.Open(device.port, kLoopback));
    const uint8_t hello[3] = {1, 2, 3};
    EXPECT_EQ(link.Send(hello, 3), 3);
    sockaddr_in from{};
    EXPECT_EQ(device.ReceiveFrom(from), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(ntohs(from.sin_port), link.LocalPort());

    uint8_t buf[256];
    stranger.SendTo(LinkAddress(link), 7);
    EXPECT_EQ(ReceiveWithin(link, buf, 245), 7);
}

TEST(UdpLink, DropsADatagramLongerThanTheCapacity) {
    Peer device;
    CUdpLink link;
    ASSERT_TRUE(link.Open(device.port, kLoopback));
    const uint8_t hello = 0;
    link.Send(&hello, 1);
    uint8_t buf[512] = {};
    device.SendTo(LinkAddress(link), 245);
    EXPECT_EQ(ReceiveWithin(link, buf, 245), 245);
    device.SendTo(LinkAddress(link), 246);
    device.SendTo(LinkAddress(link), 3);
    // The long one is lost whole; the next one still arrives.
    uint16_t n = 0;
    for (int i = 0; i < 100 && n != 3; ++i) {
        n = link.Receive(buf, 245);
        EXPECT_TRUE(n == 0 || n == 3) << n;
    }
    EXPECT_EQ(n, 3);
}

// Only the unit speaks for the unit: another host's datagram, even one that arrives first, is
// dropped unread and noted; the unit's own answer still arrives, from any of its ports.
TEST(UdpLink, TakesDatagramsOnlyFromTheUnitsAddress) {
    Peer device;
    Peer otherPort;
    Peer stranger(htonl(0x7F000002));  // 127.0.0.2
    ASSERT_NE(stranger.port, 0) << "127.0.0.2 cannot be bound here";
    RecordingNotes observer;
    CUdpLink link;
    link.SetObserver(&observer);
    ASSERT_TRUE(link.Open(device.port, kLoopback));
    const uint8_t hello = 0;
    link.Send(&hello, 1);
    uint8_t buf[256] = {};
    stranger.SendTo(LinkAddress(link), 7, 0x66);
    device.SendTo(LinkAddress(link), 5, 0x11);
    EXPECT_EQ(ReceiveWithin(link, buf, 245), 5);
    EXPECT_EQ(buf[0], 0x11);
    ASSERT_EQ(observer.notes.size(), 1u);
    EXPECT_EQ(observer.notes[0], "datagram of 7 bytes from 127.0.0.2 port " +
                                     std::to_string(stranger.port) + " dropped: not the unit");

    otherPort.SendTo(LinkAddress(link), 3, 0x22);
    EXPECT_EQ(ReceiveWithin(link, buf, 245), 3);
    EXPECT_EQ(buf[0], 0x22);

    // A flood of strangers ends a receive empty-handed within its bound; nothing of it passes.
    for (int i = 0; i < 2 * CUdpLink::kMostStrangersPerReceive; ++i)
        stranger.SendTo(LinkAddress(link), 4, 0x66);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(link.Receive(buf, 245), 0);
    EXPECT_EQ(observer.notes.size(), 1u + 2 * CUdpLink::kMostStrangersPerReceive);
}

}  // namespace
