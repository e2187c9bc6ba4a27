// SPDX-License-Identifier: Apache-2.0
// pellisk-watch's logic: its events and snapshot against announces, with the ticks driven here.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "LoopbackSender.h"
#include "RecordingLayer.h"
#include "core/UdpAnnounceSocket.h"
#include "watch/JsonText.h"
#include "watch/Watcher.h"

namespace {

using Lines = std::vector<std::string>;

// Reads one JSON string back into bytes; false on anything but the escapes we write.
bool DecodeJsonString(std::string_view json, std::string* bytes) {
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') return false;
    bytes->clear();
    for (std::size_t i = 1; i + 1 < json.size(); ++i) {
        const auto c = static_cast<unsigned char>(json[i]);
        if (c < 0x20 || c >= 0x7F || c == '"') return false;  // must have been escaped
        if (c != '\\') {
            bytes->push_back(static_cast<char>(c));
            continue;
        }
        const char e = json[++i];
        const std::string_view simple = "\"\\/bfnrt";
        const std::string_view meaning = "\"\\/\b\f\n\r\t";
        if (const std::size_t at = simple.find(e); at != std::string_view::npos) {
            bytes->push_back(meaning[at]);
        } else if (e == 'u' && i + 4 < json.size()) {
            const unsigned long code = std::stoul(std::string(json.substr(i + 1, 4)), nullptr, 16);
            if (code > 0xFF) return false;
            bytes->push_back(static_cast<char>(code));
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

TEST(JsonText, EveryByteSurvivesAsPlainAsciiJson) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    std::string json;
    AppendJsonString(all, &json);
    std::string back;
    ASSERT_TRUE(DecodeJsonString(json, &back)) << json;
    EXPECT_EQ(back, all);

    json.clear();
    AppendJsonString("a\"b\\c\n\x01\x7F\xC3\xA9", &json);
    EXPECT_EQ(json, R"("a\"b\\c\n\u0001\u007f\u00c3\u00a9")")
        << "UTF-8 lookalikes are bytes too, never passed through half-checked";
}

class WatcherTest : public testing::Test {
  protected:
    void Make(CWatchOptions options = {}) {
        m_watcher = std::make_unique<CWatcher>(
            options, m_socket, [this](std::string_view line) { m_out.emplace_back(line); },
            [this](std::string_view line) { m_errors.emplace_back(line); });
        std::string error;
        ASSERT_TRUE(m_watcher->Start(&error)) << error;
    }
    void Announce(const std::string& name, const std::string& mac, const std::string& message,
                  uint32_t sender = 0x0A000005) {
        m_socket.Queue(name + "\r\n" + mac + "\r\n" + message + std::string(32, ' '), sender);
        m_watcher->Arrive();
    }
    void Tick(int times = 1) {
        for (int i = 0; i < times; ++i) m_watcher->Tick();
    }
    Lines Take() { return std::exchange(m_out, {}); }

    CRecordingSocket m_socket;
    std::unique_ptr<CWatcher> m_watcher;
    Lines m_out;
    Lines m_errors;
};

TEST_F(WatcherTest, AppearUpdateAndRemoveFollowTheWindowsRows) {
    Make();
    EXPECT_EQ(m_socket.m_boundPort, 30303);
    EXPECT_EQ(m_watcher->TickIntervalMs(), 1000);
    Tick(3);
    EXPECT_TRUE(Take().empty()) << "the placeholder is no unit";

    Announce("Boiler", "00-04-a3-00-00-01", "ready");
    const std::string pad(32, ' ');
    EXPECT_EQ(Take(), Lines{"+\tBoiler\t00-04-a3-00-00-01\t10.0.0.5\tready" + pad + "\n"});
    Announce("Boiler", "00-04-A3-00-00-01", "ready");
    EXPECT_TRUE(Take().empty()) << "a refresh that changes nothing is silent";
    Announce("Boiler", "00-04-A3-00-00-01", "ready", 0x0A000009);
    EXPECT_EQ(Take(), Lines{"=\tBoiler\t00-04-a3-00-00-01\t10.0.0.9\tready" + pad + "\n"})
        << "the MAC keeps its first letter case";
    Announce("Pump\tA", "00-04-A3-00-00-02", "line\nbreak");
    EXPECT_EQ(Take(),
              Lines{"+\tPump\uFFFDA\t00-04-A3-00-00-02\t10.0.0.5\tline\uFFFDbreak" + pad + "\n"});

    Tick(6);
    EXPECT_TRUE(Take().empty()) << "marked, not yet removed";
    Tick();
    EXPECT_EQ(Take(), Lines{"-\tBoiler\t00-04-a3-00-00-01\t10.0.0.9\tready" + pad + "\n"});
    Tick();
    ASSERT_EQ(Take().size(), 1u) << "one removal per tick";
    Tick(3);
    EXPECT_TRUE(Take().empty()) << "the placeholder's return is silent";
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(WatcherTest, JsonLinesCarryTheEventAndTheRow) {
    CWatchOptions options;
    options.json = true;
    Make(options);
    Announce("Caf\xE9 \"1\"", "m1", "ok");
    Tick(7);
    const Lines lines = Take();
    ASSERT_EQ(lines.size(), 2u);
    const std::string row = R"("name":"Caf\u00e9 \"1\"","mac":"m1","ip":"10.0.0.5","message":"ok)" +
                            std::string(32, ' ') + "\"}\n";
    EXPECT_EQ(lines[0], R"({"event":"appear",)" + row);
    EXPECT_EQ(lines[1], R"({"event":"remove",)" + row);
}

TEST_F(WatcherTest, MacFilterIgnoresCaseAndOncePrintsOnlyTheListAtTheEnd) {
    CWatchOptions options;
    options.mac = "a3:12";
    options.once = true;
    Make(options);
    Announce("Wanted", "00:04:A3:12:00:01", "x");
    Announce("Other", "00:04:A3:13:00:01", "x");
    Announce("Also", "00:04:a3:12:00:02", "x");
    Tick(6);
    Announce("Also", "00:04:a3:12:00:02", "changed");
    EXPECT_TRUE(Take().empty()) << "--once prints nothing on the way";
    m_watcher->WriteListed();
    const std::string pad(32, ' ');
    EXPECT_EQ(Take(), (Lines{"Wanted\t00:04:A3:12:00:01\t10.0.0.5\tx" + pad + "\n",
                             "Also\t00:04:a3:12:00:02\t10.0.0.5\tchanged" + pad + "\n"}))
        << "a marked row is still listed";

    m_out.clear();
    CWatchOptions events;
    events.mac = "A3:13";
    Make(events);
    Announce("Wanted", "00:04:A3:12:00:01", "x");
    Announce("Other", "00:04:a3:13:00:01", "x");
    ASSERT_EQ(Take().size(), 1u);
}

TEST_F(WatcherTest, SteadyUnitGetsNoRemoveAndAppearPairThroughAFloodOfOneShotMacs) {
    Make();
    const std::string steady = "00-04-A3-12-34-56";
    Announce("Steady", steady, "ready");
    Tick();
    Announce("Steady", steady, "ready");
    int fakeLines = 0;
    int fake = 0;
    Lines aboutSteady;
    for (int second = 0; second < 10; ++second) {
        for (int i = 0; i < 1000; ++i) Announce("Fake", "fa-ke-" + std::to_string(fake++), "x");
        if (second % 2 == 1) Announce("Steady", steady, "ready");
        Tick();
        for (std::string& line : Take()) {
            if (line.find(steady) != std::string::npos) {
                aboutSteady.push_back(std::move(line));
            } else {
                ++fakeLines;
            }
        }
    }
    ASSERT_EQ(aboutSteady.size(), 1u) << aboutSteady.back();
    EXPECT_EQ(aboutSteady[0].substr(0, 9), "+\tSteady\t") << "its first appearance, no more";
    EXPECT_GT(fakeLines, 2 * 8000) << "the fakes came and went, each with its pair of lines";
    EXPECT_EQ(m_watcher->Rows().Count(), kMaxDeviceRows);
}

TEST_F(WatcherTest, LaterFailuresAreOneLineOnStandardErrorAndItGoesOn) {
    Make();
    m_socket.Queue("Boiler\r\nmac\r\nmessage long enough to pass");
    m_socket.Fail("ReadDatagram");
    m_watcher->Arrive();
    EXPECT_EQ(m_errors, Lines{"pellisk-watch: Error 9999 (Injected failure) in procedure "
                              "sktListenAnnounce_DataArrival of Form frmMain on line 20\n"});
    m_socket.ClearFaults();
    Announce("Boiler", "mac", "ok");
    EXPECT_EQ(Take().size(), 1u);
}

TEST(WatcherListener, TakenPortIsOneLineNamingPortAndCause) {
    CPortHolder holder;
    ASSERT_NE(holder.Port(), 0);
    CWatchOptions options;
    options.port = holder.Port();
    CUdpAnnounceSocket socket;
    Lines errors;
    CWatcher watcher(
        options, socket, [](std::string_view) {},
        [&](std::string_view line) { errors.emplace_back(line); });
    std::string error;
    EXPECT_FALSE(watcher.Start(&error));
    EXPECT_EQ(error, "cannot listen: UDP port " + std::to_string(holder.Port()) +
                         " is already in use by another program");
    EXPECT_TRUE(errors.empty()) << "no second report of the same failure";
}

// Loopback only: 5,000 invented units, then a real one, which must be listed within 2 s.
TEST(WatcherListener, RealUnitIsListedWithinTwoSecondsOfAFloodOfFiveThousand) {
    CWatchOptions options;
    options.port = 0;
    CUdpAnnounceSocket socket;
    std::string last;
    int appeared = 0;
    CWatcher watcher(
        options, socket,
        [&](std::string_view line) {
            last = line;
            ++appeared;
        },
        [](std::string_view) {});
    std::string error;
    ASSERT_TRUE(watcher.Start(&error)) << error;
    const uint16_t port = socket.LocalPort();
    CLoopbackSender sender;
    const auto drain = [&] {
        for (int i = 0; i < 100000 && socket.WaitReadable(0); ++i) watcher.Arrive();
    };
    for (int unit = 0; unit < 5000; ++unit) {
        ASSERT_TRUE(sender.Send(
            port, "Fake unit\r\nfa-ke-" + std::to_string(unit) + "\r\ninvented by a flood"));
        if (unit % 200 == 199) drain();  // the receive buffer is not what is being tested
        if (unit % 1000 == 999) watcher.Tick();
    }
    drain();
    ASSERT_GT(appeared, 1024) << "the flood filled the list";
    ASSERT_EQ(watcher.Rows().Count(), kMaxDeviceRows);

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(sender.Send(port, "Real unit\r\n00-04-A3-12-34-56\r\nBootloader ready"));
    bool listed = false;
    while (!listed && std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
        if (WaitReadable(socket.Descriptor(), 100)) watcher.Arrive();
        listed = last.starts_with("+\tReal unit\t00-04-A3-12-34-56\t127.0.0.1\t");
    }
    EXPECT_TRUE(listed) << last;
    EXPECT_EQ(watcher.Rows().Count(), kMaxDeviceRows);
}

}  // namespace
