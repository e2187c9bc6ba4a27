// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "LoopbackClient.h"
#include "UnitLine.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kWakeup = {'r', 'e', 'm', 'o', 't', 'e', 'b', 'o', 'o', 't', 'l', 's', 't', 'd', 0};

TEST(UnitLine, NamesAndMacsFollowTheBase) {
    EXPECT_EQ(LineUnitName("Bench", 0, 1), "Bench");
    EXPECT_EQ(LineUnitName("Bench", 0, 3), "Bench-1");
    EXPECT_EQ(LineUnitName("Bench", 2, 3), "Bench-3");
    EXPECT_EQ(LineUnitName("", 2, 3), "");

    std::string mac;
    ASSERT_TRUE(OffsetMac("00-04-A3-12-34-FE", 0, mac));
    EXPECT_EQ(mac, "00-04-A3-12-34-FE");
    ASSERT_TRUE(OffsetMac("00-04-A3-12-34-FE", 3, mac));
    EXPECT_EQ(mac, "00-04-A3-12-35-01") << "carries into the next octet";
    ASSERT_TRUE(OffsetMac("00:04:a3:ff:ff:ff", 1, mac));
    EXPECT_EQ(mac, "00:04:a4:00:00:00");
    ASSERT_TRUE(OffsetMac("FF-FF-FF-FF-FF-FE", 1, mac));
    EXPECT_FALSE(OffsetMac("FF-FF-FF-FF-FF-FE", 2, mac)) << "past the last MAC";
    for (const char* bad : {"00-04-A3-12-34", "00-04-A3-12-34-5G", "00-04:A3-12-34-56",
                            "00.04.A3.12.34.56", "Tolvane", ""}) {
        EXPECT_FALSE(OffsetMac(bad, 1, mac)) << bad;
    }
}

TEST(UnitLine, EachUnitAnswersOnItsOwnPortWithItsOwnNameAndFlash) {
    CUnitLineConfig config;
    config.units = 3;
    config.unit = LoopbackConfig(EWakeup::kNeeded);
    config.unit.name = "Bench";
    config.announce.mac = "00-04-A3-12-34-FF";
    CUnitLine line(config);
    std::string error;
    ASSERT_TRUE(line.Start(error)) << error;
    ASSERT_EQ(line.Size(), 3u);
    CLoopbackClient client;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(line.Port(i), line.Port(0) + i);
        client.SendRaw(line.Port(i), kWakeup);
        EXPECT_EQ(client.Exchange(line.Port(i), {1}), VersionReply(line.Announce(i).name));
        // Unit i alone gets data byte i.
        Bytes batch = {3};
        const Bytes records =
            Batch({Record(0, 4, {0x1D, 0x00}), Record(0, 0, {static_cast<uint8_t>(0xA0 + i)})});
        batch.insert(batch.end(), records.begin(), records.end());
        EXPECT_EQ(client.Exchange(line.Port(i), batch), Bytes{3});
    }
    EXPECT_EQ(line.Announce(2).mac, "00-04-A3-12-35-01");
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(line.Unit(i).ReadFlash(0x9D000000, 1), Bytes{static_cast<uint8_t>(0xA0 + i)});
    line.Stop();
    EXPECT_EQ(line.Size(), 0u);
}

TEST(UnitLine, AddressesAndMessagesOfALineOnOneNetwork) {
    std::string address;
    ASSERT_TRUE(OffsetAddress("127.0.0.254", 3, address));
    EXPECT_EQ(address, "127.0.1.1") << "carries into the next octet";
    EXPECT_FALSE(OffsetAddress("255.255.255.255", 1, address));
    EXPECT_FALSE(OffsetAddress("127.0.0", 0, address));
    EXPECT_EQ(RunningFirmwareMessage(0x0A2F), "Running firmware CRC 0A2F");
}

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Announces until one from host holds text, or the bound passes; its text, empty if none came.
std::string AnnounceFrom(CLoopbackClient& listener, uint32_t host, const std::string& text,
                         int boundMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(boundMs);
    while (Clock::now() < until) {
        uint32_t from = 0;
        const Bytes raw = listener.ReceiveRaw(100, &from);
        const std::string announce(raw.begin(), raw.end());
        if (from == host && announce.find(text) != std::string::npos) return announce;
    }
    return {};
}

TEST(UnitLine, UnitsOnConsecutiveAddressesJoinInTurnAndAnnounceTheirFirmwareAfterARestart) {
    CLoopbackClient listener;
    CUnitLineConfig config;
    config.units = 3;
    config.unit = LoopbackConfig(EWakeup::kNeeded);
    config.unit.port = 0;
    config.firstAddress = "127.0.0.2";
    config.joinEveryMs = 400;
    config.restartMs = 600;
    config.announce.targetPort = listener.Port();
    config.announce.intervalMs = 100;
    CUnitLine line(config);
    std::string error;
    const auto start = Clock::now();
    ASSERT_TRUE(line.Start(error)) << error;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(line.Address(i), "127.0.0." + std::to_string(2 + i));
        EXPECT_EQ(line.Port(i), line.Port(0)) << "one port for the whole line";
    }

    // Unit 2 is heard from its own address, and not before its turn (800 ms).
    const std::string third = AnnounceFrom(listener, 0x7F000004, "Tolvane", 5000);
    EXPECT_GE(MsSince(start), 700);
    EXPECT_NE(third.find("Bootloader on UDP port"), std::string::npos) << third;

    // Flash one byte into unit 1 at its own address, verify, exit: it restarts.
    CLoopbackClient client;
    client.SetTargetHost(0x7F000003);
    const uint16_t port = line.Port(1);
    client.SendRaw(port, kWakeup);
    ASSERT_EQ(client.Exchange(port, {2}), Bytes{2});
    Bytes batch = {3};
    const Bytes records = Batch({Record(0, 4, {0x1D, 0x00}), Record(0, 0, {0x5A, 0xA5})});
    batch.insert(batch.end(), records.begin(), records.end());
    ASSERT_EQ(client.Exchange(port, batch), Bytes{3});
    ASSERT_EQ(client.Exchange(port, VerifyBody(0x9D000000, 2)).size(), 3u);
    client.SendBody(port, {5});
    const auto exited = Clock::now();
    const std::string running = AnnounceFrom(listener, 0x7F000003, "Running firmware", 5000);
    EXPECT_GE(MsSince(exited), 450) << "silent while it restarts";
    char expected[64];
    std::snprintf(expected, sizeof expected, "\r\nRunning firmware CRC %04X",
                  line.Unit(1).FlashCrc(0x9D000000, 2));
    EXPECT_NE(running.find(expected), std::string::npos) << running;
    EXPECT_EQ(line.Unit(1).EraseCount(), 1);
    EXPECT_FALSE(line.Unit(1).InSession()) << "no Frame answered until woken again";
}

TEST(UnitLine, RefusesWhatCannotBeBoundAndHoldsNothing) {
    CUnitSim holder(LoopbackConfig(EWakeup::kAwake));
    ASSERT_TRUE(holder.Start());
    std::string error;

    CUnitLineConfig config;
    config.units = 2;
    config.unit = LoopbackConfig(EWakeup::kAwake);
    config.unit.port = static_cast<uint16_t>(holder.Port() - 1);
    CUnitLine busy(config);
    EXPECT_FALSE(busy.Start(error));
    EXPECT_NE(error.find("cannot bind"), std::string::npos) << error;
    EXPECT_EQ(busy.Size(), 0u);

    config.unit.port = 0;
    config.announce.mac = "not a MAC";
    CUnitLine badMac(config);
    EXPECT_FALSE(badMac.Start(error));
    EXPECT_NE(error.find("not a MAC"), std::string::npos) << error;
    EXPECT_EQ(badMac.Size(), 0u);

    config.units = 1;  // one unit keeps any MAC text, as before
    CUnitLine one(config);
    ASSERT_TRUE(one.Start(error)) << error;
    EXPECT_EQ(one.Announce(0).mac, "not a MAC");
}

}  // namespace
