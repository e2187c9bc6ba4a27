// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "Announcer.h"
#include "LoopbackClient.h"

namespace {

std::string Text(const std::vector<uint8_t>& b) {
    return {b.begin(), b.end()};
}

TEST(UnitSimAnnouncer, SendOnceCarriesTheThreeLines) {
    CLoopbackClient listener;
    CAnnounceConfig config;
    config.message = "Bootloader on UDP port 6969";
    config.targetPort = listener.Port();
    config.intervalMs = 0;
    CAnnouncer announcer(config);
    ASSERT_TRUE(announcer.Start());
    EXPECT_TRUE(listener.ReceiveRaw(150).empty()) << "interval 0 sends only on request";
    ASSERT_TRUE(announcer.SendOnce());
    EXPECT_EQ(Text(listener.ReceiveRaw()),
              "Tolvane Unit\r\n00-04-A3-12-34-56\r\nBootloader on UDP port 6969");
    EXPECT_EQ(announcer.Sent(), 1);
}

TEST(UnitSimAnnouncer, StartSendsAtOnceThenEveryInterval) {
    CLoopbackClient listener;
    CAnnounceConfig config;
    config.name = "N";
    config.mac = "M";
    config.targetPort = listener.Port();
    config.intervalMs = 300;
    config.sourceAddress = "127.0.0.1";
    CAnnouncer announcer(config);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(announcer.Start());
    EXPECT_EQ(Text(listener.ReceiveRaw(1000)), "N\r\nM\r\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250))
        << "the first goes out at once";
    EXPECT_FALSE(listener.ReceiveRaw(1000).empty());
    EXPECT_FALSE(listener.ReceiveRaw(1000).empty());
    announcer.Stop();
    EXPECT_GE(announcer.Sent(), 3);
    const int sent = announcer.Sent();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(announcer.Sent(), sent) << "nothing after Stop";
}

TEST(UnitSimAnnouncer, BadAddressesAreRefused) {
    CAnnounceConfig config;
    config.targetAddress = "localhost:30303";
    CAnnouncer badTarget(config);
    EXPECT_FALSE(badTarget.Start());
    EXPECT_FALSE(badTarget.SendOnce());
    config.targetAddress = "127.0.0.1";
    config.sourceAddress = "300.1.1.1";
    CAnnouncer badSource(config);
    EXPECT_FALSE(badSource.Start());
    EXPECT_EQ(badSource.Sent(), 0);
}

}  // namespace
