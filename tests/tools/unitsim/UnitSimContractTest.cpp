// SPDX-License-Identifier: Apache-2.0
// What a real unit does that a loader has to live with: the wake-up, the version gate on
// reset-to-defaults and the time its flash takes.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "LoopbackClient.h"
#include "UnitSim.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes kWakeup = {'r', 'e', 'm', 'o', 't', 'e', 'b', 'o', 'o', 't', 'l', 'e', 'x', 't', 0};

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

TEST(UnitSimContract, FramesWaitForAWakeupAfterStartAndAfterEachExit) {
    CUnitSim sim(LoopbackConfig(EWakeup::kNeeded));
    ASSERT_TRUE(sim.Start());
    CLoopbackClient client;
    EXPECT_FALSE(sim.InSession());
    // The unit takes datagrams in order: an answer to a Frame before the wake-up would come
    // before the answer that follows it.
    client.SendBody(sim.Port(), {1});
    client.SendBody(sim.Port(), {2});
    client.SendRaw(sim.Port(), kWakeup);
    EXPECT_EQ(client.Exchange(sim.Port(), {1}), (Bytes{1, 1, 4}));
    EXPECT_EQ(sim.EraseCount(), 0) << "not acted on either";
    EXPECT_EQ(client.Exchange(sim.Port(), {2}), Bytes{2});
    client.SendBody(sim.Port(), {5});
    client.SendBody(sim.Port(), {1});
    client.SendRaw(sim.Port(), kWakeup);
    EXPECT_EQ(client.Exchange(sim.Port(), {1}), (Bytes{1, 1, 4}));

    const std::vector<CSeenRequest> seen = sim.Requests();
    ASSERT_EQ(seen.size(), 9u);
    EXPECT_TRUE(seen[0].outOfSession);
    EXPECT_TRUE(seen[1].outOfSession);
    EXPECT_FALSE(seen[3].outOfSession);
    EXPECT_TRUE(seen[6].outOfSession);
}

TEST(UnitSimContract, ResetToDefaultsIsAnsweredFromBootloader104On) {
    struct {
        uint8_t major, minor;
        bool answers;
    } const cases[] = {{1, 3, false}, {0, 9, false}, {1, 4, true}, {1, 10, true}, {2, 0, true}};
    CLoopbackClient client;
    for (const auto& c : cases) {
        CUnitSimConfig config = LoopbackConfig(EWakeup::kAwake);
        config.major = c.major;
        config.minor = c.minor;
        CUnitSim sim(config);
        ASSERT_TRUE(sim.Start());
        const Bytes reply = client.Exchange(sim.Port(), {6});
        EXPECT_EQ(reply, c.answers ? Bytes{6} : Bytes{}) << int{c.major} << "." << int{c.minor};
        EXPECT_EQ(sim.ResetCount(), c.answers ? 1 : 0);
        // The unit is still there: the next command is answered.
        EXPECT_EQ(client.Exchange(sim.Port(), {2}), Bytes{2});
    }
}

TEST(UnitSimContract, EraseAndProgrammingTakeTheFlashsTimeWithoutStoppingTheUnit) {
    CUnitSimConfig config = LoopbackConfig(EWakeup::kAwake);
    config.eraseMs = 300;
    config.programUsPerByte = 1000;
    CUnitSim sim(config);
    ASSERT_TRUE(sim.Start());
    CLoopbackClient client;

    auto start = Clock::now();
    client.SendBody(sim.Port(), {2});
    // Taken in while the flash is busy, and answered only after the erase.
    for (int i = 0; i < 100 && sim.RequestCount() < 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    client.SendBody(sim.Port(), {1});
    for (int i = 0; i < 100 && sim.RequestCount() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::vector<CSeenRequest> seen = sim.Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_LT(seen[1].atMs - seen[0].atMs, 250u) << "taken in while the erase went on";
    EXPECT_EQ(client.ReceiveBody(2000), Bytes{2});
    EXPECT_GE(MsSince(start), 280);
    EXPECT_LE(MsSince(start), 1500);
    EXPECT_EQ(client.ReceiveBody(500), (Bytes{1, 1, 4}));

    // Two records of 100 data bytes, an address record: 200 bytes at 1 ms each.
    Bytes batch = {3};
    const Bytes records = Batch({Record(0, 4, {0x1D, 0x00}), Record(0, 0, Bytes(100, 0x11)),
                                 Record(100, 0, Bytes(100, 0x22))});
    batch.insert(batch.end(), records.begin(), records.end());
    start = Clock::now();
    EXPECT_EQ(client.Exchange(sim.Port(), batch), Bytes{3});
    EXPECT_GE(MsSince(start), 190);
    EXPECT_LE(MsSince(start), 1000);

    start = Clock::now();
    EXPECT_EQ(client.Exchange(sim.Port(), VerifyBody(0x9D000000, 200)).size(), 3u);
    EXPECT_LT(MsSince(start), 150) << "verify takes no flash time";
}

}  // namespace
