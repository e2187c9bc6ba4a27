// SPDX-License-Identifier: Apache-2.0
// The link's trace and engine notes, and progress counted in programmed bytes.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <fstream>
#include <mutex>
#include <regex>
#include <sstream>

#include "EngineHarness.h"
#include "LinkTrace.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Hex(const Bytes& bytes) {
    std::string text;
    char pair[4];
    for (uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%s%02X", text.empty() ? "" : " ", b);
        text += pair;
    }
    return text;
}

std::vector<std::string> Lines(const std::string& path) {
    std::stringstream all;
    all << std::ifstream(path).rdbuf();
    EXPECT_TRUE(all.str().empty() || all.str().back() == '\n') << "last line cut short";
    std::vector<std::string> lines;
    for (std::string line; std::getline(all, line);) lines.push_back(line);
    return lines;
}

// An empty file for a trace, removed with the test.
struct CTracePath {
    const std::string& Path() const { return m_path; }
    int OpenAppending() const { return ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC); }

    CTempDir m_dir;
    std::string m_path = m_dir.Write("trace.log", "");
};

// Data bytes of the data records in one CMD_PROGRAM Frame, read from the wire bytes.
uint32_t DataBytesInBatch(const Bytes& raw) {
    CFrameDecoder decoder;
    bool escape = false;
    DecodeBytes(decoder, escape, raw.data(), static_cast<uint16_t>(raw.size()));
    EXPECT_TRUE(decoder.frameComplete);
    const int bodyEnd = decoder.replyLength - 2;
    uint32_t bytes = 0;
    for (int at = 1; at + 4 <= bodyEnd; at += decoder.reply[at] + 5)
        if (decoder.reply[at + 3] == 0) bytes += decoder.reply[at];
    return bytes;
}

TEST_F(EngineTest, TraceHasOneLinePerDatagramInOrderWithTheWakeupAsText) {
    CTracePath trace;
    const int fd = trace.OpenAppending();
    ASSERT_GE(fd, 0);
    CLinkTrace tracer(fd, -1, "127.0.0.1:1 ");
    m_link.SetObserver(&tracer);
    StartUnit();
    LoadText(HexFileText(3));
    ASSERT_TRUE(m_link.StartCommand(CMD_READ_VERSION, WAKE_STANDARD, 24, 100));
    ASSERT_EQ(Next(3000).message, WM_BOOT_REPLY);
    ASSERT_TRUE(m_link.StartCommand(CMD_ERASE, 0, 3, 1000));
    ASSERT_EQ(Next(3000).message, WM_BOOT_REPLY);
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 1000));
    ASSERT_EQ(Next(3000).message, WM_BOOT_REPLY);
    m_link.StopWorker();
    ::close(fd);

    Bytes erase{CMD_ERASE, 0, 0};
    uint8_t frame[16];
    uint16_t frameLength = 0;
    ASSERT_TRUE(EncodeFrame(erase.data(), erase.size(), 1, frame, sizeof frame, frameLength));
    ASSERT_EQ(Hex(Bytes(frame, frame + frameLength)), "01 02 42 20 04");

    // The wake-up goes unanswered; each Frame has one reply of its own code.
    const auto seen = m_unit->Requests();
    ASSERT_EQ(seen.size(), 4u);
    const auto lines = Lines(trace.Path());
    ASSERT_EQ(lines.size(), 7u);
    const std::regex format(R"(127\.0\.0\.1:1 (\d+) (send|recv) (\d+) (.*))");
    const char* ways[] = {"send", "send", "recv", "send", "recv", "send", "recv"};
    long lastMs = 0;
    size_t sent = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, format)) << lines[i];
        const long ms = std::stol(m[1]);
        EXPECT_GE(ms, lastMs) << lines[i];
        if (i == 1) {
            EXPECT_GE(ms - lastMs, 90) << "the Frame follows the wake-up by its time-out";
        }
        lastMs = ms;
        EXPECT_EQ(m[2], ways[i]) << lines[i];
        if (i == 0) {
            EXPECT_EQ(m[3], "15");
            EXPECT_EQ(m[4], "wake \"remotebootlstd\"");
        } else if (m[2] == "send") {
            EXPECT_EQ(m[4], Hex(seen[++sent].raw)) << lines[i];
            EXPECT_EQ(std::stoul(m[3]), seen[sent].raw.size());
        } else {
            EXPECT_EQ(m[4].length() + 1, 3 * std::stoul(m[3])) << lines[i];
        }
    }
    EXPECT_EQ(lines[3].substr(lines[3].find(" send")), " send 5 01 02 42 20 04");
}

TEST(LinkTrace, TwoWritersAppendingToOneFileLeaveOnlyWholeLines) {
    CTracePath trace;
    constexpr int kEach = 2000;
    const Bytes datagram(300, 0x5A);
    std::atomic<int> ready{0};
    auto write = [&](const char* prefix) {
        const int fd = trace.OpenAppending();
        ASSERT_GE(fd, 0);
        CLinkTrace tracer(fd, fd, prefix);
        // Both start together, so that their lines do meet in the file.
        ready.fetch_add(1);
        for (int spins = 0; ready.load() < 2 && spins < 100000000; ++spins) {
        }
        for (int i = 0; i < kEach; ++i) {
            tracer.OnDatagram(EDatagramWay::kReceived, datagram.data(), datagram.size());
            tracer.OnEngineNote("reply 03 answers CMD_PROGRAM");
        }
        ::close(fd);
    };
    std::thread a(write, "A "), b(write, "B ");
    a.join();
    b.join();

    const std::string hex = Hex(datagram);
    int counts[2] = {0, 0};
    for (const auto& line : Lines(trace.Path())) {
        const std::regex format(R"(([AB]) \d+ (recv 300 (.*)|# reply 03 answers CMD_PROGRAM))");
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, format)) << line.substr(0, 80);
        if (m[3].matched) {
            ASSERT_EQ(m[3], hex);
        }
        ++counts[m[1] == "B"];
    }
    EXPECT_EQ(counts[0], 2 * kEach);
    EXPECT_EQ(counts[1], 2 * kEach);
}

// A line that could not be written is remembered, by its first reason, for the caller to say.
TEST(LinkTrace, RemembersTheFirstLineItCouldNotWrite) {
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const uint8_t datagram[] = {1, 2, 3};
    CLinkTrace fine(-1, -1);
    fine.OnDatagram(EDatagramWay::kSent, datagram, sizeof datagram);
    EXPECT_EQ(fine.DatagramWriteError(), 0);
    CLinkTrace lost(full, -1);
    lost.OnDatagram(EDatagramWay::kSent, datagram, sizeof datagram);
    ::close(full);
    lost.OnDatagram(EDatagramWay::kReceived, datagram, sizeof datagram);  // now EBADF
    EXPECT_EQ(lost.DatagramWriteError(), ENOSPC);
}

TEST_F(EngineTest, NotesTellTriesAnswersDroppedDuplicatesTimeOutsAndRefusals) {
    CNoteRecorder& notes = m_notes;
    m_link.SetObserver(&notes);
    CUnitSimConfig config;
    config.faults.duplicateReply = 1.0;
    StartUnit(config);
    ASSERT_TRUE(m_link.StartCommand(CMD_ERASE, 0, 3, 500));
    EXPECT_EQ(Next(1000).message, WM_BOOT_REPLY);
    const int answered =
        notes.Find("reply 02 answers CMD_ERASE", notes.Find("CMD_ERASE try 1 of 3"));
    EXPECT_GE(answered, 1);
    EXPECT_GT(notes.Find("reply 02 dropped: second answer", answered), answered);

    m_unit->SetSilent(true);
    const size_t before = notes.Notes().size();
    ASSERT_TRUE(m_link.StartCommand(CMD_ERASE, 0, 3, 60));
    ASSERT_EQ(Next(2000).message, WM_BOOT_TIMEOUT);
    // Written before the time-out is posted, so all are there now.
    const auto seen = notes.Notes();
    EXPECT_EQ(
        std::vector<std::string>(seen.begin() + static_cast<long>(before), seen.end()),
        (std::vector<std::string>{"CMD_ERASE try 1 of 3", "CMD_ERASE try 2 of 3",
                                  "CMD_ERASE try 3 of 3", "CMD_ERASE timed out after 3 tries"}));
    EXPECT_FALSE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 60));
    EXPECT_EQ(notes.Notes().back(), "CMD_PROGRAM refused: no file open");
}

TEST_F(EngineTest, ByteProgressReachesTheTotalExactlyAtTheEndOfEachRun) {
    StartUnit();
    LoadText(HexFileText(100, 7));
    uint32_t done = 1, total = 0;
    m_link.GetByteProgress(done, total);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(total, 700u);
    // A second run starts again from nothing.
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 500));
        const CBootMessage m = Next(5000);
        ASSERT_EQ(m.message, WM_BOOT_REPLY);
        ASSERT_EQ(m.reply[0], CMD_PROGRAM);
        m_link.GetByteProgress(done, total);
        EXPECT_EQ(done, 700u) << run;
        EXPECT_EQ(total, 700u);
    }
}

TEST_F(EngineTest, ByteProgressCountsOnlyTheAnsweredBatchesWhileOneIsOutstanding) {
    CNoteRecorder& notes = m_notes;
    m_link.SetObserver(&notes);
    StartUnit();
    LoadText(HexFileText(2000));
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 300));
    ASSERT_TRUE(WaitForRequests(5, 3000));
    m_unit->SetSilent(true);
    // A batch resent: it went unanswered for a whole time-out, and it still is.
    ASSERT_GE(notes.Find("CMD_PROGRAM try 2 of 3", -1, true), 0);
    uint32_t outstanding = 0, total = 0;
    m_link.GetByteProgress(outstanding, total);
    const CBootMessage m = Next(3000);
    ASSERT_EQ(m.message, WM_BOOT_TIMEOUT);
    EXPECT_EQ(m.wParam, CMD_PROGRAM);
    uint32_t done = 0;
    m_link.GetByteProgress(done, total);

    // Resends repeat their batch's Frame; every batch but the last was answered.
    std::vector<Bytes> batches;
    for (const auto& f : Frames())
        if (f.command == CMD_PROGRAM && (batches.empty() || batches.back() != f.raw))
            batches.push_back(f.raw);
    ASSERT_GE(batches.size(), 2u);
    uint32_t answered = 0;
    for (size_t i = 0; i + 1 < batches.size(); ++i) answered += DataBytesInBatch(batches[i]);
    EXPECT_EQ(done, answered);
    EXPECT_EQ(outstanding, answered);
    EXPECT_EQ(total, 2000u * 16);
    EXPECT_LT(done, total);
}

TEST(HexFileDataBytes, CountsOnlyTheDataOfDataRecords) {
    CHexFile file;
    CPathChooser chooser;
    file.SetFileChooser(&chooser);
    EXPECT_EQ(file.TotalDataBytes(), 0u);
    CTempDir dir;
    chooser.m_path = dir.Write(
        "image.hex", HexRecord(4, 0, {0x1D, 0x00}) + HexRecord(0, 0, Bytes(16, 0xAA)) +
                         HexRecord(2, 0, {0x12, 0x34}) + HexRecord(0, 0x40, Bytes(7, 0x01)) +
                         HexRecord(5, 0, {0, 0, 0, 0}) + "\n" + HexRecord(0, 0x80, {0x10}) +
                         ":00000001FF");
    ASSERT_TRUE(file.Load());
    EXPECT_EQ(file.TotalDataBytes(), 24u);
    // Kept for the summary once the file is closed; a cancelled Load has none.
    file.CloseFile();
    EXPECT_EQ(file.TotalDataBytes(), 24u);
    chooser.m_cancel = true;
    EXPECT_FALSE(file.Load());
    EXPECT_EQ(file.TotalDataBytes(), 0u);
}

}  // namespace
