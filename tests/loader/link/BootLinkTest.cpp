// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "EngineHarness.h"

namespace {

using Bytes = std::vector<uint8_t>;
const Bytes kReadVersionFrame{0x01, 0x10, 0x01, 0x21, 0x10, 0x10, 0x04};

Bytes Wakeup(const char* letters) {
    Bytes b(letters, letters + 14);
    b.push_back(0);
    return b;
}

std::string PlainRecords(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += HexRecord(0, static_cast<uint16_t>(i * 16), Bytes(16, static_cast<uint8_t>(i)));
    return text + ":00000001FF\n";
}

std::vector<uint16_t> ProgramBatches(const std::vector<CSeenRequest>& frames) {
    std::vector<uint16_t> batches;
    for (const auto& f : frames)
        if (f.command == CMD_PROGRAM) batches.push_back(f.records);
    return batches;
}

CUnitSimConfig Silent() {
    CUnitSimConfig c;
    c.faults.silent = true;
    return c;
}

TEST_F(EngineTest, WakesTheUnitThenResendsTheReadVersionFrameEveryTimeout) {
    StartUnit(Silent());
    ASSERT_TRUE(m_link.StartCommand(CMD_READ_VERSION, WAKE_STANDARD, 24, 333));
    ASSERT_TRUE(WaitForRequests(4, 3000));
    const auto seen = m_unit->Requests();
    EXPECT_TRUE(seen[0].wakeup);
    EXPECT_EQ(seen[0].raw, Wakeup("remotebootlstd"));
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(seen[i].raw, kReadVersionFrame) << i;
        const uint64_t gap = seen[i].atMs - seen[i - 1].atMs;
        EXPECT_GE(gap, 320u) << i;
        EXPECT_LE(gap, 500u) << i;
    }
    uint32_t done = 0, total = 0;
    m_link.GetProgress(done, total);
    EXPECT_EQ(total, 24u);
    EXPECT_GE(done, 4u);
}

TEST_F(EngineTest, OneTrySendsOnlyTheWakeupOfEachVariantThenTimesOut) {
    StartUnit(Silent());
    const std::pair<uint8_t, const char*> variants[] = {{WAKE_STANDARD, "remotebootlstd"},
                                                        {WAKE_EXTENDED, "remotebootlext"},
                                                        {0, "remotebootlind"},
                                                        {18, "remotebootlind"}};
    for (const auto& [variant, text] : variants) {
        ASSERT_TRUE(m_link.StartCommand(CMD_READ_VERSION, variant, 1, 333));
        const CBootMessage m = Next(1000);
        EXPECT_EQ(m.message, WM_BOOT_TIMEOUT) << text;
        EXPECT_EQ(m.wParam, CMD_READ_VERSION);
    }
    // An erase sent after them all arrives after anything they sent.
    ASSERT_TRUE(m_link.StartCommand(CMD_ERASE, 0, 1, 333));
    ASSERT_EQ(Next(1000).message, WM_BOOT_TIMEOUT);
    ASSERT_TRUE(WaitForRequests(5, 3000));
    const auto seen = m_unit->Requests();
    ASSERT_EQ(seen.size(), 5u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(seen[i].raw, Wakeup(variants[i].second)) << i;
    EXPECT_EQ(seen[4].command, CMD_ERASE) << "only the wake-up of each variant went before it";
}

TEST_F(EngineTest, ExitGoesOutOnceAndNothingIsPosted) {
    CNoteRecorder& notes = m_notes;
    m_link.SetObserver(&notes);
    StartUnit();
    ASSERT_TRUE(m_link.StartCommand(CMD_EXIT, 0, 1, 200));
    // Its one try is over: a time-out would be posted now.
    ASSERT_GE(notes.Find("CMD_EXIT sent, no answer awaited"), 0);
    ExpectNothingPostedBeforeAProbe();
    const auto frames = Frames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[0].raw, (Bytes{0x01, 0x05, 0xA5, 0x50, 0x04}));
    EXPECT_EQ(frames[1].command, CMD_READ_VERSION) << "the exit went out once";
    EXPECT_TRUE(m_unit->Exited());
}

TEST_F(EngineTest, RefusesUnknownCodesAndSendsNothing) {
    StartUnit();
    EXPECT_FALSE(m_link.StartCommand(0, 0, 3, 100));
    EXPECT_FALSE(m_link.StartCommand(7, 0, 3, 100));
    ExpectNothingPostedBeforeAProbe();
    const auto seen = m_unit->Requests();
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(seen[0].wakeup) << "the probe's wake-up came first";
}

TEST_F(EngineTest, ReportsASilentUnitAfterItsTries) {
    StartUnit(Silent());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(m_link.StartCommand(CMD_ERASE, 0, 3, 150));
    const CBootMessage m = Next(3000);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_EQ(m.message, WM_BOOT_TIMEOUT);
    EXPECT_EQ(m.wParam, CMD_ERASE);
    EXPECT_GE(ms, 290);  // two gaps of 150 ms, then about one pass
    EXPECT_LE(ms, 900);
    EXPECT_EQ(Frames().size(), 3u);
}

TEST_F(EngineTest, PostsEachAnswerWithACopyOfTheReply) {
    CUnitSimConfig config;
    config.name = "ABC";
    config.major = 12;
    config.minor = 5;
    StartUnit(config);
    ASSERT_TRUE(m_link.StartCommand(CMD_READ_VERSION, WAKE_STANDARD, 24, 333));
    const CBootMessage m = Next(3000);
    ASSERT_EQ(m.message, WM_BOOT_REPLY);
    EXPECT_EQ(m.wParam, 3u + 16u + 2u);
    EXPECT_EQ(m.reply[0], CMD_READ_VERSION);
    EXPECT_EQ(m.reply[1], 12);
    EXPECT_EQ(m.reply[2], 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&m.reply[3])), "ABC");
    uint32_t done = 0, total = 0;
    m_link.GetProgress(done, total);
    EXPECT_EQ(done, total);  // a completed reply fills the bar

    for (uint8_t code : {CMD_ERASE, CMD_RESET_DEFAULTS}) {
        ASSERT_TRUE(m_link.StartCommand(code, 0, 3, 500));
        const CBootMessage r = Next(2000);
        EXPECT_EQ(r.message, WM_BOOT_REPLY);
        EXPECT_EQ(r.reply[0], code);
        EXPECT_EQ(r.wParam, 3u);
    }
}

TEST_F(EngineTest, SendsRecordsInBatchesOfElevenAndReportsTheEnd) {
    StartUnit();
    LoadText(PlainRecords(25));  // 25 records and the end record: 26 lines
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 500));
    const CBootMessage m = Next(3000);
    ASSERT_EQ(m.message, WM_BOOT_REPLY);
    EXPECT_EQ(m.reply[0], CMD_PROGRAM);
    EXPECT_EQ(ProgramBatches(Frames()), (std::vector<uint16_t>{11, 11, 4}));
    uint32_t done = 0, total = 0;
    m_link.GetProgress(done, total);
    EXPECT_EQ(total, 26u);
    EXPECT_EQ(done, 26u);
}

TEST_F(EngineTest, AFileEndingOnABatchStillEndsWithOneReply) {
    StartUnit();
    LoadText(PlainRecords(21));  // 22 lines: exactly two batches
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 500));
    EXPECT_EQ(Next(3000).message, WM_BOOT_REPLY);
    ExpectNothingPostedBeforeAProbe();
    EXPECT_EQ(ProgramBatches(Frames()), (std::vector<uint16_t>{11, 11}));
}

TEST_F(EngineTest, RefusesProgrammingWithoutAFileOrWithoutARecord) {
    StartUnit();
    EXPECT_FALSE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 500));  // no file open
    LoadText("\n:00000001FF\n");                                // first line is not a record
    EXPECT_FALSE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 500));
    ExpectNothingPostedBeforeAProbe();
    const auto seen = m_unit->Requests();
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(seen[0].wakeup) << "the probe's wake-up came first";
}

TEST_F(EngineTest, VerifyCarriesTheImageRangeAndCrc) {
    StartUnit();
    LoadText(HexFileText(256));  // 4 KiB at 0x9D000000
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 500));
    ASSERT_EQ(Next(5000).message, WM_BOOT_REPLY);
    ASSERT_TRUE(m_link.StartCommand(CMD_VERIFY, 0, 3, 500));
    const CBootMessage m = Next(3000);
    ASSERT_EQ(m.message, WM_BOOT_REPLY);
    const uint16_t expected = m_link.GetImageCrc();
    EXPECT_EQ(m.reply[1] | m.reply[2] << 8, expected);

    const auto frames = Frames();
    const CSeenRequest& verify = frames.back();
    ASSERT_EQ(verify.command, CMD_VERIFY);
    CFrameDecoder d;
    bool escape = false;
    DecodeBytes(d, escape, verify.raw.data(), static_cast<uint16_t>(verify.raw.size()));
    ASSERT_TRUE(d.frameComplete);
    const Bytes body(d.reply, d.reply + 11);
    EXPECT_EQ(body, (Bytes{0x04, 0x00, 0x00, 0x00, 0x9D, 0x00, 0x10, 0x00, 0x00,
                           static_cast<uint8_t>(expected), static_cast<uint8_t>(expected >> 8)}));
}

TEST_F(EngineTest, DropsRepliesNobodyActsOnAndGoesOnTrying) {
    StartUnit();
    for (uint8_t code : {uint8_t{0}, CMD_EXIT}) {
        m_unit->SetCustomReply(CMD_ERASE, {code});
        m_unit->ClearRequests();
        ASSERT_TRUE(m_link.StartCommand(CMD_ERASE, 0, 2, 150));
        const CBootMessage m = Next(2000);
        // Never taken as an answer, so the command runs out of tries as with a silent unit.
        EXPECT_EQ(m.message, WM_BOOT_TIMEOUT) << int(code);
        EXPECT_EQ(Frames().size(), 2u);
    }
}

TEST_F(EngineTest, AReplyOfAnotherCodeIsPostedButDoesNotEndTheCommand) {
    StartUnit();
    m_unit->SetCustomReply(CMD_ERASE, {CMD_RESET_DEFAULTS});
    ASSERT_TRUE(m_link.StartCommand(CMD_ERASE, 0, 2, 150));
    const CBootMessage first = Next(1000);
    EXPECT_EQ(first.message, WM_BOOT_REPLY);
    EXPECT_EQ(first.reply[0], CMD_RESET_DEFAULTS);
    EXPECT_EQ(Next(1000).message, WM_BOOT_REPLY);  // the answer to the resend
    const CBootMessage last = Next(1000);
    EXPECT_EQ(last.message, WM_BOOT_TIMEOUT);
    EXPECT_EQ(last.wParam, CMD_ERASE);
}

TEST_F(EngineTest, PostsAReplyThatArrivesAfterTheTimeout) {
    CUnitSimConfig config;
    config.faults.delayReply = 1.0;
    config.faults.delayReplyMs = 400;
    StartUnit(config);
    ASSERT_TRUE(m_link.StartCommand(CMD_ERASE, 0, 1, 100));
    EXPECT_EQ(Next(1000).message, WM_BOOT_TIMEOUT);
    const CBootMessage late = Next(2000);
    EXPECT_EQ(late.message, WM_BOOT_REPLY);
    EXPECT_EQ(late.reply[0], CMD_ERASE);
}

TEST_F(EngineTest, ALoadAfterATimedOutProgrammingRunRetiresIt) {
    CNoteRecorder& notes = m_notes;
    m_link.SetObserver(&notes);
    CUnitSimConfig config;
    config.faults.delayReply = 1.0;
    config.faults.delayReplyMs = 300;
    StartUnit(config);
    LoadText(HexFileText(100));
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 1, 100));
    ASSERT_EQ(Next(1000).message, WM_BOOT_TIMEOUT);
    // The user loads another file while the first batch's reply is still on its way: the
    // late reply must neither read on from the new file nor report a finished run.
    LoadText(HexFileText(50, 16, 2));
    const int loaded = static_cast<int>(notes.Notes().size()) - 1;
    ASSERT_GE(notes.Find("reply 03 ", loaded, true), 0) << "the late reply came";
    ExpectNothingPostedBeforeAProbe();
    EXPECT_EQ(notes.CountStarting("CMD_PROGRAM try", loaded), 0);
    EXPECT_EQ(ProgramBatches(Frames()), (std::vector<uint16_t>{11}));
}

TEST_F(EngineTest, RecoversLostDatagramsByResending) {
    CUnitSimConfig config;
    config.faults.dropRequest = 0.3;
    config.faults.dropReply = 0.3;
    config.faults.seed = 7;
    StartUnit(config);
    LoadText(HexFileText(400));
    ASSERT_TRUE(m_link.StartCommand(CMD_ERASE, 0, 10, 60));
    ASSERT_EQ(Next(3000).message, WM_BOOT_REPLY);
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 10, 60));
    const CBootMessage m = Next(20000);
    ASSERT_EQ(m.message, WM_BOOT_REPLY);
    EXPECT_EQ(m.reply[0], CMD_PROGRAM);
    // A lost reply makes the unit write a batch twice, to the same places: the flash is whole.
    ExpectUnitHoldsImage();
}

TEST_F(EngineTest, DuplicatedRepliesStillProgramEveryRecordOnLoopback) {
    CUnitSimConfig config;
    config.faults.duplicateReply = 1.0;
    StartUnit(config);
    LoadText(HexFileText(300));
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 500));
    ASSERT_EQ(Next(10000).message, WM_BOOT_REPLY);
    ExpectUnitHoldsImage();
}

TEST_F(EngineTest, SplitsBatchesOfLongRecordsAndLosesNone) {
    StartUnit();
    // 120 data bytes: 125 bytes a record, so at most seven fit behind the command byte.
    LoadText(HexFileText(30, 120));
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 500));
    ASSERT_EQ(Next(5000).message, WM_BOOT_REPLY);
    int records = 0;
    for (const auto& f : Frames()) {
        if (f.command != CMD_PROGRAM) continue;
        EXPECT_LE(f.bodySize, kRequestScratchSize - 2);
        EXPECT_LE(f.records, 8);  // the short address record may join seven long ones
        records += f.records;
    }
    EXPECT_EQ(records, 32);  // address record, 30 data records, end record
    EXPECT_EQ(ExpectUnitHoldsImage(), 3600u);
}

TEST_F(EngineTest, SplitsBatchesWhoseEscapedFrameWouldNotFit) {
    StartUnit();
    // Every data byte is a DLE: a record of 120 bytes takes about 250 bytes on the wire.
    LoadText(HexFileText(40, 120, 1, DLE));
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 500));
    ASSERT_EQ(Next(5000).message, WM_BOOT_REPLY);
    int records = 0;
    for (const auto& f : Frames()) {
        if (f.command != CMD_PROGRAM) continue;
        EXPECT_LE(f.raw.size(), kFrameBufferSize);
        records += f.records;
    }
    EXPECT_EQ(records, 42);
    ExpectUnitHoldsImage();
}

TEST_F(EngineTest, ExitDuringProgrammingIsNeverReplacedByABatch) {
    CUnitSimConfig config;
    config.faults.delayReply = 1.0;
    config.faults.delayReplyMs = 30;
    StartUnit(config);
    LoadText(HexFileText(2000));
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 500));
    ASSERT_TRUE(WaitForRequests(5, 3000));
    ASSERT_TRUE(m_link.StartCommand(CMD_EXIT, 0, 1, 200));
    m_link.StopWorker();
    const auto frames = Frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().command, CMD_EXIT);
    EXPECT_EQ(std::count_if(frames.begin(), frames.end(),
                            [](const CSeenRequest& f) { return f.command == CMD_EXIT; }),
              1);
    EXPECT_TRUE(m_unit->Exited());
}

TEST_F(EngineTest, AnExitArmedRightBeforeTheStopStillGoesOut) {
    StartUnit();
    for (int round = 0; round < 3; ++round) {
        m_link.StartWorker(&m_queue);
        ASSERT_TRUE(m_link.StartCommand(CMD_EXIT, 0, 1, 200));
        m_link.StopWorker();
        EXPECT_EQ(Frames().size(), static_cast<size_t>(round + 1)) << round;
    }
}

TEST_F(EngineTest, ResendsOnTimeAcrossTheTickCountWrap) {
    StartUnit(Silent());
    // Put the wrap of the 32-bit tick count inside the command.
    CBootLink::SetTickOffset(0);
    CBootLink::SetTickOffset(0u - CBootLink::GetTickCount() - 200u);
    ASSERT_TRUE(m_link.StartCommand(CMD_ERASE, 0, 3, 250));
    const CBootMessage m = Next(3000);
    CBootLink::SetTickOffset(0);
    EXPECT_EQ(m.message, WM_BOOT_TIMEOUT);
    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 3u);
    for (size_t i = 1; i < frames.size(); ++i) {
        const uint64_t gap = frames[i].atMs - frames[i - 1].atMs;
        EXPECT_GE(gap, 240u) << i;
        EXPECT_LE(gap, 450u) << i;
    }
}

// Replies that arrive twice, late, or just after the last try was given up on.
TEST_F(EngineTest, AnAnswerJustAfterTheLastTryWasGivenUpOnCancelsItsTimeOut) {
    CUnitSimConfig config;
    config.faults.delayReply = 1.0;
    StartUnit(config);
    // Delays around one worker pass put the answer next to the moment the only try is
    // declared lost. The answer may follow a time-out, never precede one.
    for (int delay = 8; delay <= 24; delay += 2) {
        config.faults.delayReplyMs = delay;
        m_unit->SetFaults(config.faults);
        ASSERT_TRUE(m_link.StartCommand(CMD_ERASE, 0, 1, 300));
        std::vector<uint32_t> seen;
        for (CBootMessage m = Next(400); m.message != 0; m = Next(150)) seen.push_back(m.message);
        const bool replyOnly = seen == std::vector<uint32_t>{WM_BOOT_REPLY};
        const bool timeoutThenReply = seen == std::vector<uint32_t>{WM_BOOT_TIMEOUT, WM_BOOT_REPLY};
        EXPECT_TRUE(replyOnly || timeoutThenReply) << "delay " << delay << ", " << seen.size();
    }
}

TEST_F(EngineTest, ASecondAnswerToTheSameCommandIsDropped) {
    CNoteRecorder& notes = m_notes;
    m_link.SetObserver(&notes);
    CUnitSimConfig config;
    config.faults.duplicateReply = 1.0;
    StartUnit(config);
    ASSERT_TRUE(m_link.StartCommand(CMD_ERASE, 0, 3, 500));
    EXPECT_EQ(Next(1000).message, WM_BOOT_REPLY);
    ASSERT_GE(notes.Find("reply 02 dropped: second answer"), 0);
    ExpectNothingPostedBeforeAProbe();
}

TEST_F(EngineTest, DuplicatedRepliesOnALossyLinkSkipNoBatch) {
    CUnitSimConfig config;
    config.faults.duplicateReply = 1.0;
    config.faults.dropRequest = 0.25;
    config.faults.seed = 5;
    StartUnit(config);
    LoadText(HexFileText(400));
    // Taken for the answer to the next batch, a duplicate would end it unsent whenever that
    // batch's request is lost.
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 12, 100));
    const CBootMessage m = Next(30000);
    ASSERT_EQ(m.message, WM_BOOT_REPLY);
    EXPECT_EQ(m.reply[0], CMD_PROGRAM);
    ExpectUnitHoldsImage();
}

TEST_F(EngineTest, ALoadDuringALiveProgrammingRunRetiresIt) {
    CNoteRecorder& notes = m_notes;
    m_link.SetObserver(&notes);
    CUnitSimConfig config;
    config.faults.delayReply = 1.0;
    config.faults.delayReplyMs = 15;
    StartUnit(config);
    LoadText(HexFileText(3000));
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 500));
    ASSERT_TRUE(WaitForRequests(4, 3000));
    LoadText(HexFileText(50, 16, 2));
    // Every batch is noted as it is sent, under the lock that the Load took.
    const int loaded = static_cast<int>(notes.Notes().size()) - 1;
    const int sent = notes.CountStarting("CMD_PROGRAM try", -1);
    // The probe's answer comes after the reply to the batch that was on its way.
    ExpectNothingPostedBeforeAProbe();
    EXPECT_EQ(notes.CountStarting("CMD_PROGRAM try", loaded), 0) << "a batch after the Load";
    EXPECT_EQ(ProgramBatches(Frames()).size(), static_cast<size_t>(sent));
}

TEST_F(EngineTest, AFileChangedUnderARunEndsItAndRefusesTheVerify) {
    CUnitSimConfig config;
    config.faults.delayReply = 1.0;
    config.faults.delayReplyMs = 10;
    StartUnit(config);
    LoadText(HexFileText(3000));
    ASSERT_TRUE(m_link.StartCommand(CMD_PROGRAM, 0, 3, 500));
    ASSERT_TRUE(WaitForRequests(4, 3000));
    ASSERT_EQ(::truncate(m_chooser.m_path.c_str(), 0), 0);
    const CBootMessage m = Next(3000);
    ASSERT_EQ(m.message, WM_BOOT_REPLY);
    EXPECT_EQ(m.reply[0], CMD_PROGRAM);
    EXPECT_TRUE(m_link.FileChanged());
    EXPECT_LT(ProgramBatches(Frames()).size(), 3000u / kRecordsPerBatch);
    EXPECT_FALSE(m_link.StartCommand(CMD_VERIFY, 0, 3, 500));
}

TEST_F(EngineTest, StopNowSendsNothingMoreNotEvenAnArmedCommand) {
    StartUnit(Silent());
    ASSERT_TRUE(m_link.StartCommand(CMD_ERASE, 0, 3, 5000));
    ASSERT_TRUE(WaitForRequests(1, 2000));
    const auto start = std::chrono::steady_clock::now();
    m_link.StopWorkerNow();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_FALSE(m_link.WorkerRunning());
    // An armed command is disarmed: a later worker's last pass, which sends the first datagram
    // of whatever is armed, finds nothing.
    ASSERT_TRUE(m_link.StartCommand(CMD_EXIT, 0, 1, 200));
    m_link.StopWorkerNow();
    m_link.StartWorker(&m_queue);
    m_link.StopWorker();
    EXPECT_EQ(Frames().size(), 1u);
}

TEST(BootMessageQueue, AFloodOfStrayRepliesLeavesRoomForWhatMustArrive) {
    CBootMessageQueue queue;
    CBootMessage stray;
    stray.message = WM_BOOT_REPLY;
    stray.reply[0] = CMD_ERASE;
    for (size_t i = 0; i < 2 * CBootMessageQueue::kCapacity; ++i) queue.PostBootMessage(stray);
    CBootMessage timeout;
    timeout.message = WM_BOOT_TIMEOUT;
    timeout.wParam = CMD_PROGRAM;
    timeout.mustArrive = true;
    queue.PostBootMessage(timeout);
    CBootMessage m, last;
    size_t taken = 0;
    while (queue.Take(m)) {
        last = m;
        ++taken;
    }
    EXPECT_EQ(last.message, WM_BOOT_TIMEOUT);
    EXPECT_EQ(last.wParam, CMD_PROGRAM);
    EXPECT_LE(taken, CBootMessageQueue::kCapacity);
}

TEST(BootLinkWorker, StopWithoutAWorkerReturnsAtOnceAndWithOneTakesTheFullSecond) {
    CBootLink link;
    auto start = std::chrono::steady_clock::now();
    link.StopWorker();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));

    CBootMessageQueue queue, other;
    link.StartWorker(&queue);
    link.StartWorker(&other);  // only changes the notify target
    EXPECT_TRUE(link.WorkerRunning());
    start = std::chrono::steady_clock::now();
    link.StopWorker();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1000));
    EXPECT_LT(took, std::chrono::milliseconds(1500));
    EXPECT_FALSE(link.WorkerRunning());
}

}  // namespace
