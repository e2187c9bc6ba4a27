// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "Crc16.h"
#include "LoopbackClient.h"
#include "UnitSim.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kWakeup = {'r', 'e', 'm', 'o', 't', 'e', 'b', 'o', 'o', 't', 'l', 's', 't', 'd', 0};

// Polls done for at most two seconds.
template <typename F>
bool WaitFor(F done) {
    for (int waited = 0; waited < 2000 && !done(); waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

TEST(UnitSimExchange, ReadVersionWithAndWithoutName) {
    CUnitSim plain(LoopbackConfig(EWakeup::kAwake));
    ASSERT_TRUE(plain.Start());
    CLoopbackClient client;
    EXPECT_EQ(client.Exchange(plain.Port(), {1}), (Bytes{1, 1, 4}));

    CUnitSimConfig config = LoopbackConfig(EWakeup::kAwake);
    config.name = "Tolvane";
    config.major = 2;
    config.minor = 17;
    CUnitSim named(config);
    ASSERT_TRUE(named.Start());
    Bytes expected = {1, 2, 17, 'T', 'o', 'l', 'v', 'a', 'n', 'e'};
    expected.resize(19, 0);
    EXPECT_EQ(client.Exchange(named.Port(), {1}), expected);

    config.name = "A name of twenty bytes";
    CUnitSim longName(config);
    ASSERT_TRUE(longName.Start());
    const Bytes reply = client.Exchange(longName.Port(), {1});
    ASSERT_EQ(reply.size(), 19u);
    EXPECT_EQ(std::string(reply.begin() + 3, reply.end()), "A name of twenty");
}

TEST(UnitSimExchange, FlashRunEraseProgramVerifyExitReset) {
    CUnitSim sim(LoopbackConfig(EWakeup::kAwake));
    ASSERT_TRUE(sim.Start());
    CLoopbackClient client;
    const uint16_t port = sim.Port();

    // The unit answers in order, so each answer below also shows that nothing before it was
    // answered: the wake-up, the short verify, the exit and the erase after it.
    client.SendRaw(port, kWakeup);
    EXPECT_EQ(client.Exchange(port, {6}), Bytes{6});
    EXPECT_EQ(sim.ResetCount(), 1);
    EXPECT_EQ(client.Exchange(port, {2}), Bytes{2});
    EXPECT_EQ(sim.EraseCount(), 1);

    Bytes batch = {3};
    const Bytes records =
        Batch({Record(0, 4, {0x1D, 0x00}), Record(0x0000, 0, {1, 2, 3, 4, 5}),
               Record(0, 4, {0x1F, 0xC0}), Record(0x0000, 0, {9, 9, 9, 9}), Record(0, 1, {})});
    batch.insert(batch.end(), records.begin(), records.end());
    EXPECT_EQ(client.Exchange(port, batch), Bytes{3});
    // Sent again as a resend would be: same places.
    EXPECT_EQ(client.Exchange(port, batch), Bytes{3});
    EXPECT_EQ(sim.ReadFlash(0x9D000000, 6), (Bytes{1, 2, 3, 4, 5, 0xFF}));

    const Bytes image = {1, 2, 3, 4, 5, 0xFF, 0xFF, 0xFF};
    const uint16_t crc = Crc16(image.data(), 8);
    EXPECT_EQ(sim.FlashCrc(0x9D000000, 8), crc);
    EXPECT_EQ(client.Exchange(port, VerifyBody(0x9D000000, 8, crc)),
              (Bytes{4, static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8)}));
    // A verify without start and length gets no answer.
    client.SendBody(port, {4, 0, 0, 0, 0x9D});

    client.SendBody(port, {5});
    // The bootloader has ended: nothing is answered or acted on until a new wake-up.
    client.SendBody(port, {2});
    ASSERT_TRUE(WaitFor([&] { return sim.RequestCount() == 9; }));
    EXPECT_TRUE(sim.Exited());
    EXPECT_FALSE(sim.InSession());
    client.SendRaw(port, kWakeup);
    EXPECT_EQ(client.Exchange(port, {1}), (Bytes{1, 1, 4}));
    EXPECT_EQ(sim.EraseCount(), 1);
    EXPECT_TRUE(sim.InSession());
    EXPECT_TRUE(sim.Exited());
    EXPECT_EQ(sim.ReadFlash(0x9D000000, 1), Bytes{1}) << "flash survives a restart";

    const std::vector<CSeenRequest> seen = sim.Requests();
    ASSERT_EQ(seen.size(), 11u);
    EXPECT_TRUE(seen[0].wakeup);
    EXPECT_EQ(seen[0].wakeText, "remotebootlstd");
    EXPECT_EQ(seen[0].raw, kWakeup);
    EXPECT_EQ(seen[3].command, 3);
    EXPECT_EQ(seen[3].records, 5);
    EXPECT_EQ(seen[3].bodySize, batch.size());
    EXPECT_EQ(seen[3].replies, 1);
    EXPECT_EQ(seen[3].fromPort, client.Port());
    EXPECT_TRUE(seen[6].frame);
    EXPECT_EQ(seen[6].replies, 0) << "short verify";
    EXPECT_EQ(seen[7].command, 5);
    EXPECT_EQ(seen[7].replies, 0);
    EXPECT_TRUE(seen[8].outOfSession);
    EXPECT_LE(seen[0].atMs, seen[10].atMs);
    EXPECT_EQ(sim.RequestCount(), 11u);
    sim.ClearRequests();
    EXPECT_EQ(sim.RequestCount(), 0u);
    EXPECT_TRUE(sim.Requests().empty());
}

TEST(UnitSimExchange, RepliesGoToEachSendersOwnPort) {
    CUnitSim sim(LoopbackConfig(EWakeup::kAwake));
    ASSERT_TRUE(sim.Start());
    CLoopbackClient a, b;
    a.SendBody(sim.Port(), {2});
    b.SendBody(sim.Port(), {6});
    EXPECT_EQ(a.ReceiveBody(), Bytes{2});
    EXPECT_EQ(b.ReceiveBody(), Bytes{6});
    EXPECT_EQ(a.Exchange(sim.Port(), {1}), (Bytes{1, 1, 4})) << "nothing of b's came to a";
}

TEST(UnitSimExchange, OddDatagramsAreRecordedNotAnswered) {
    CUnitSim sim(LoopbackConfig(EWakeup::kAwake));
    ASSERT_TRUE(sim.Start());
    CLoopbackClient client;
    // Two Frames in one datagram are both taken.
    Bytes two = CLoopbackClient::Frame({2});
    const Bytes reset = CLoopbackClient::Frame({6});
    two.insert(two.end(), reset.begin(), reset.end());
    client.SendRaw(sim.Port(), two);
    EXPECT_EQ(client.ReceiveBody(), Bytes{2});
    EXPECT_EQ(client.ReceiveBody(), Bytes{6});

    client.SendRaw(sim.Port(), {0x55, 0x01, 0x02, 0x99, 0x99, 0x04});  // bad CRC
    client.SendRaw(sim.Port(), {});
    client.SendBody(sim.Port(), {9});  // unknown command
    EXPECT_EQ(client.Exchange(sim.Port(), {1}), (Bytes{1, 1, 4})) << "the first answer since";
    const auto seen = sim.Requests();
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_FALSE(seen[2].frame);
    EXPECT_FALSE(seen[3].frame);
    EXPECT_TRUE(seen[4].frame);
    EXPECT_EQ(seen[4].command, 9);
    EXPECT_EQ(seen[4].replies, 0);
}

TEST(UnitSimExchange, StartFailsCleanlyAndRestarts) {
    CUnitSimConfig config = LoopbackConfig(EWakeup::kAwake);
    config.bindAddress = "not an address";
    CUnitSim bad(config);
    EXPECT_FALSE(bad.Start());

    CUnitSim first(LoopbackConfig(EWakeup::kAwake));
    ASSERT_TRUE(first.Start());
    CUnitSimConfig same = LoopbackConfig(EWakeup::kAwake);
    same.port = first.Port();
    CUnitSim taken(same);
    EXPECT_FALSE(taken.Start()) << "port in use";

    first.Stop();
    ASSERT_TRUE(first.Start());
    CLoopbackClient client;
    EXPECT_EQ(client.Exchange(first.Port(), {2}), Bytes{2});
}

}  // namespace
