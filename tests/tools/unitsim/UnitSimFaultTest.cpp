// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "LoopbackClient.h"
#include "UnitSim.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

bool WaitForRequests(const CUnitSim& sim, size_t count) {
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (sim.RequestCount() < count) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Sends n erase requests and returns how many replies each one got.
std::vector<int> ReplyPattern(CUnitSim& sim, CLoopbackClient& client, int n) {
    sim.ClearRequests();
    for (int i = 0; i < n; ++i) client.SendBody(sim.Port(), {2});
    EXPECT_TRUE(WaitForRequests(sim, n));
    std::vector<int> pattern;
    for (const CSeenRequest& r : sim.Requests()) pattern.push_back(r.replies);
    return pattern;
}

TEST(UnitSimFaults, DroppedRequestsAreSeenButNotActedOn) {
    CUnitSimConfig config = LoopbackConfig(EWakeup::kAwake);
    config.faults.dropRequest = 1;
    CUnitSim sim(config);
    ASSERT_TRUE(sim.Start());
    CLoopbackClient client;
    client.SendBody(sim.Port(), {2});
    ASSERT_TRUE(WaitForRequests(sim, 1));
    EXPECT_TRUE(sim.Requests()[0].dropped);

    CFaultConfig none;
    sim.SetFaults(none);
    // Answered in order: this is the first answer, so the dropped erase got none.
    EXPECT_EQ(client.Exchange(sim.Port(), {1}), (Bytes{1, 1, 4}));
    EXPECT_EQ(sim.EraseCount(), 0);
    EXPECT_EQ(client.Exchange(sim.Port(), {2}), Bytes{2});
}

TEST(UnitSimFaults, DroppedRepliesFollowAnActThatHappened) {
    CUnitSimConfig config = LoopbackConfig(EWakeup::kAwake);
    config.faults.dropReply = 1;
    CUnitSim sim(config);
    ASSERT_TRUE(sim.Start());
    CLoopbackClient client;
    client.SendBody(sim.Port(), {2});
    ASSERT_TRUE(WaitForRequests(sim, 1));
    sim.SetFaults(CFaultConfig{});
    EXPECT_EQ(client.Exchange(sim.Port(), {1}), (Bytes{1, 1, 4})) << "the first answer";
    EXPECT_EQ(sim.EraseCount(), 1);
}

TEST(UnitSimFaults, DuplicateAndCorruptReplies) {
    CUnitSimConfig config = LoopbackConfig(EWakeup::kAwake);
    config.faults.duplicateReply = 1;
    CUnitSim sim(config);
    ASSERT_TRUE(sim.Start());
    CLoopbackClient client;
    client.SendBody(sim.Port(), {6});
    EXPECT_EQ(client.ReceiveBody(), Bytes{6});
    EXPECT_EQ(client.ReceiveBody(), Bytes{6});
    // A third copy would be the next datagram, taken below for the damaged reply.

    CFaultConfig corrupt;
    corrupt.corruptReply = 1;
    sim.SetFaults(corrupt);
    client.SendBody(sim.Port(), {6});
    const Bytes raw = client.ReceiveRaw();
    ASSERT_EQ(raw.size(), 5u) << "the damaged reply still arrives";
    EXPECT_NE(raw, CLoopbackClient::Frame({6}));
    EXPECT_EQ(raw.front(), 0x01);
    EXPECT_EQ(raw.back(), 0x04);
    CFrameDecoder d;
    bool escape = false;
    DecodeBytes(d, escape, raw.data(), static_cast<uint16_t>(raw.size()));
    EXPECT_FALSE(d.frameComplete) << "and the loader's decoder rejects it";
    EXPECT_EQ(sim.ResetCount(), 2);

    corrupt = CFaultConfig{};
    corrupt.corruptRequest = 1;
    sim.SetFaults(corrupt);
    client.SendBody(sim.Port(), {6});
    ASSERT_TRUE(WaitForRequests(sim, 3));
    const CSeenRequest last = sim.Requests().back();
    EXPECT_TRUE(last.corrupted);
    EXPECT_FALSE(last.frame);
    EXPECT_EQ(last.raw, CLoopbackClient::Frame({6})) << "raw keeps what was sent";
    sim.SetFaults(CFaultConfig{});
    EXPECT_EQ(client.Exchange(sim.Port(), {1}), (Bytes{1, 1, 4})) << "the damaged one got none";
    EXPECT_EQ(sim.ResetCount(), 2);
}

TEST(UnitSimFaults, SilentUnitRecordsButNeitherActsNorAnswers) {
    CUnitSim sim(LoopbackConfig(EWakeup::kAwake));
    ASSERT_TRUE(sim.Start());
    sim.SetSilent(true);
    CLoopbackClient client;
    client.SendBody(sim.Port(), {2});
    ASSERT_TRUE(WaitForRequests(sim, 1));
    EXPECT_EQ(sim.Requests()[0].command, 2);
    sim.SetSilent(false);
    EXPECT_EQ(client.Exchange(sim.Port(), {1}), (Bytes{1, 1, 4})) << "the first answer";
    EXPECT_EQ(sim.EraseCount(), 0);
    EXPECT_EQ(client.Exchange(sim.Port(), {2}), Bytes{2});
}

TEST(UnitSimFaults, CustomRepliesReplaceAndClear) {
    CUnitSim sim(LoopbackConfig(EWakeup::kAwake));
    ASSERT_TRUE(sim.Start());
    CLoopbackClient client;
    sim.SetCustomReply(1, {1, 0, 9});
    EXPECT_EQ(client.Exchange(sim.Port(), {1}), (Bytes{1, 0, 9}));
    sim.SetCustomReply(1, {});
    EXPECT_EQ(client.Exchange(sim.Port(), {1}), (Bytes{1, 1, 4}));
    // A reply to another command's code, and to exit, which still ends the session.
    sim.SetCustomReply(2, {3});
    EXPECT_EQ(client.Exchange(sim.Port(), {2}), Bytes{3});
    EXPECT_EQ(sim.EraseCount(), 1);
    sim.SetCustomReply(5, {5});
    EXPECT_EQ(client.Exchange(sim.Port(), {5}), Bytes{5});
    EXPECT_TRUE(sim.Exited());
    // A body of 251 bytes: the Frame the loader's decoder can never complete.
    client.SendRaw(sim.Port(),
                   {'r', 'e', 'm', 'o', 't', 'e', 'b', 'o', 'o', 't', 'l', 'i', 'n', 'd', 0});
    Bytes big(251, 0x20);
    big[0] = 1;
    sim.SetCustomReply(1, big);
    client.SendBody(sim.Port(), {1});
    EXPECT_FALSE(client.ReceiveRaw().empty());
    sim.SetCustomReply(1, Bytes(kMaxReplyBody + 1, 1));  // refused: the 251 bytes stay
    client.SendBody(sim.Port(), {1});
    const Bytes raw = client.ReceiveRaw();
    EXPECT_GE(raw.size(), 255u);
}

TEST(UnitSimFaults, SeededFaultsRepeatExactly) {
    CUnitSimConfig config = LoopbackConfig(EWakeup::kAwake);
    config.faults.dropReply = 0.5;
    config.faults.duplicateReply = 0.3;
    config.faults.seed = 7;
    CUnitSim first(config), second(config);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    CLoopbackClient client;
    const std::vector<int> a = ReplyPattern(first, client, 24);
    EXPECT_EQ(ReplyPattern(second, client, 24), a);
    EXPECT_NE(std::count(a.begin(), a.end(), 0), 0);
    EXPECT_NE(std::count(a.begin(), a.end(), 1), 0);
    EXPECT_NE(std::count(a.begin(), a.end(), 2), 0);
    // SetFaults reseeds: the same sequence once more; another seed gives another one.
    first.SetFaults(config.faults);
    EXPECT_EQ(ReplyPattern(first, client, 24), a);
    config.faults.seed = 8;
    first.SetFaults(config.faults);
    EXPECT_NE(ReplyPattern(first, client, 24), a);
}

TEST(UnitSimFaults, DelayedReplyArrivesLate) {
    CUnitSimConfig config = LoopbackConfig(EWakeup::kAwake);
    config.faults.delayReply = 1;
    config.faults.delayReplyMs = 200;
    CUnitSim sim(config);
    ASSERT_TRUE(sim.Start());
    CLoopbackClient client;
    const auto sent = Clock::now();
    client.SendBody(sim.Port(), {6});
    EXPECT_EQ(client.ReceiveBody(1500), Bytes{6});
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
    EXPECT_GE(ms, 190);
    EXPECT_LT(ms, 1500);
    // Stopping with a late reply still queued discards it.
    client.SendBody(sim.Port(), {6});
    ASSERT_TRUE(WaitForRequests(sim, 2));
    sim.Stop();
    EXPECT_TRUE(client.ReceiveRaw(300).empty());
}

}  // namespace
