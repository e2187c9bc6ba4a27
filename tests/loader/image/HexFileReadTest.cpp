// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "HexFile.h"
#include "HexTestSupport.h"

namespace {
using Bytes = std::vector<uint8_t>;

const std::string kTwoRecords =
    ":0400100001020304E2\n"
    ":00000001FF\n";

// Every file is tried with LF and with CR LF line ends: both must read alike.
class HexFileRead : public ::testing::TestWithParam<bool> {
  protected:
    bool Load(const std::string& text) {
        return m_file.Load(m_dir.Write("firmware.hex", text, GetParam()));
    }
    Bytes Next(int limit = kReadRecordLimit) {
        uint8_t buffer[kLineBufferSize];
        const uint16_t n = m_file.m_hex.ReadRecord(buffer, limit);
        return Bytes(buffer, buffer + n);
    }
    CHexFile& Hex() { return m_file.m_hex; }

    CTempDir m_dir;
    SLoadedHex m_file;
};
}  // namespace

TEST_P(HexFileRead, AFinalLineBreakChangesNeitherCountNorRecords) {
    for (const std::string& text : {kTwoRecords, kTwoRecords.substr(0, kTwoRecords.size() - 1)}) {
        ASSERT_TRUE(Load(text));
        EXPECT_EQ(Hex().TotalLines(), 2);
        ASSERT_TRUE(Hex().Rewind());
        EXPECT_EQ(Next(), (Bytes{0x04, 0x00, 0x10, 0x00, 1, 2, 3, 4, 0xE2}));
        EXPECT_EQ(Next(), (Bytes{0x00, 0x00, 0x00, 0x01, 0xFF}));
        EXPECT_TRUE(Next().empty());
        EXPECT_TRUE(Next().empty());
        EXPECT_TRUE(Hex().AtEnd());
        EXPECT_EQ(Hex().LinesRead(), 2);
    }
}

TEST_P(HexFileRead, AnEmptyFileLoadsWithNoLinesAndNoRecord) {
    ASSERT_TRUE(Load(""));
    EXPECT_TRUE(Hex().IsOpen());
    EXPECT_EQ(Hex().TotalLines(), 0);
    ASSERT_TRUE(Hex().Rewind());
    EXPECT_TRUE(Next().empty());
    EXPECT_TRUE(Hex().AtEnd());
}

TEST_P(HexFileRead, LinesThatAreNotRecordsGiveZeroAndAreNotCounted) {
    ASSERT_TRUE(Load(":0100000011EE\n\nhello\n:0100010022DC\n"));
    EXPECT_EQ(Hex().TotalLines(), 4);
    ASSERT_TRUE(Hex().Rewind());
    EXPECT_EQ(Next(), (Bytes{0x01, 0x00, 0x00, 0x00, 0x11, 0xEE}));
    EXPECT_TRUE(Next().empty());
    EXPECT_TRUE(Next().empty());
    EXPECT_FALSE(Hex().AtEnd());
    EXPECT_EQ(Next(), (Bytes{0x01, 0x00, 0x01, 0x00, 0x22, 0xDC}));
    EXPECT_EQ(Hex().LinesRead(), 2);
}

TEST_P(HexFileRead, ALineCountsOnceUpToTheLineBufferAndOncePerPieceBeyond) {
    // A record of 255 data bytes: ':' + 520 digits + line break = 522 characters.
    std::string line = ":FF000000";
    while (line.size() < 521) line += "A5";
    ASSERT_TRUE(Load(line + "\n" + line));
    EXPECT_EQ(Hex().TotalLines(), 2);
    ASSERT_TRUE(Hex().Rewind());
    for (int i = 0; i < 2; ++i) {
        const Bytes record = Next();
        ASSERT_EQ(record.size(), 260u);
        EXPECT_EQ(record[0], 0xFF);
        EXPECT_EQ(record[259], 0xA5);
    }
    EXPECT_TRUE(Next().empty());

    // 1500 characters and the line break: a 999-character piece and the rest.
    std::string longer = ":";
    while (longer.size() < 1500) longer += "A5";
    longer.resize(1500);
    ASSERT_TRUE(Load(longer + "\n"));
    EXPECT_EQ(Hex().TotalLines(), 2);
}

TEST_P(HexFileRead, ALimitCutsTheLineAndTheRestIsReadAsTheNextLine) {
    ASSERT_TRUE(Load(kTwoRecords));
    ASSERT_TRUE(Hex().Rewind());
    // 10 characters: ':' and 9 digits, the ninth of which meets the terminator.
    EXPECT_EQ(Next(11), (Bytes{0x04, 0x00, 0x10, 0x00}));
    EXPECT_TRUE(Next(11).empty());  // "1020304E2" does not start with ':'
    EXPECT_EQ(Next(11), (Bytes{0x00, 0x00, 0x00, 0x01}));
    EXPECT_TRUE(Next(11).empty());  // "F" and the line break
    // Limits too small for anything, or beyond the line buffer, are harmless.
    ASSERT_TRUE(Hex().Rewind());
    EXPECT_TRUE(Next(1).empty());
    EXPECT_TRUE(Next(0).empty());
    EXPECT_EQ(Next(5000).size(), 9u);
}

TEST_P(HexFileRead, AnOddDigitIsReadBesideTheLineBreak) {
    ASSERT_TRUE(Load(":020000001234B\n:020000001234B"));
    ASSERT_TRUE(Hex().Rewind());
    EXPECT_EQ(Next(), (Bytes{0x02, 0x00, 0x00, 0x00, 0x12, 0x34, 0x0B}));
    // Without a line break the lone last digit has no partner.
    EXPECT_EQ(Next(), (Bytes{0x02, 0x00, 0x00, 0x00, 0x12, 0x34}));
}

TEST_P(HexFileRead, ANonHexPairYieldsTheValueOfItsLeadingDigit) {
    ASSERT_TRUE(Load(":03000000G11GxyZZ\n"));
    ASSERT_TRUE(Hex().Rewind());
    EXPECT_EQ(Next(), (Bytes{0x03, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}));
}

TEST_P(HexFileRead, OnlyRewindResetsLinesRead) {
    ASSERT_TRUE(Load(kTwoRecords));
    ASSERT_TRUE(Hex().Rewind());
    Next();
    EXPECT_EQ(Hex().LinesRead(), 1);
    uint32_t start = 0;
    uint32_t length = 0;
    uint16_t crc = 0;
    Hex().ComputeImageCrc(start, length, crc);
    EXPECT_EQ(Hex().LinesRead(), 3);
    Hex().ComputeImageCrc(start, length, crc);
    EXPECT_EQ(Hex().LinesRead(), 5);
    ASSERT_TRUE(Hex().Rewind());
    EXPECT_EQ(Hex().LinesRead(), 0);
    // A Rewind after the image build reads from the start again.
    EXPECT_EQ(Next().size(), 9u);
}

INSTANTIATE_TEST_SUITE_P(LineEnds, HexFileRead, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "CrLf" : "Lf"; });

TEST(HexFileLoad, AsksTheChooserWithTheHexFilter) {
    CTempDir dir;
    SLoadedHex file;
    ASSERT_TRUE(file.Load(dir.Write("a.hex", kTwoRecords)));
    EXPECT_EQ(file.m_chooser.m_calls, 1);
    EXPECT_EQ(file.m_chooser.m_filter, "Hex File (*.hex)|*.hex|");
    EXPECT_EQ(file.m_hex.Path(), dir.PathOf("a.hex"));
}

TEST(HexFileLoad, FailsWithoutChooserOnCancelAndForAFileThatCannotBeOpened) {
    CTempDir dir;
    CHexFile bare;
    EXPECT_FALSE(bare.Load());
    EXPECT_FALSE(bare.Rewind());

    SLoadedHex file;
    ASSERT_TRUE(file.Load(dir.Write("a.hex", kTwoRecords)));
    // A cancelled dialog closes the previous file and keeps its path.
    file.m_chooser.m_cancel = true;
    EXPECT_FALSE(file.m_hex.Load());
    EXPECT_FALSE(file.m_hex.IsOpen());
    EXPECT_FALSE(file.m_hex.Rewind());
    EXPECT_EQ(file.m_hex.Path(), dir.PathOf("a.hex"));
    uint8_t buffer[kLineBufferSize];
    EXPECT_EQ(file.m_hex.ReadRecord(buffer, kReadRecordLimit), 0);

    file.m_chooser.m_cancel = false;
    EXPECT_FALSE(file.Load(dir.PathOf("missing.hex")));
    EXPECT_EQ(file.m_hex.Path(), dir.PathOf("missing.hex"));
    EXPECT_FALSE(file.m_hex.IsOpen());
    // A directory is not a firmware file, though Linux would open it.
    EXPECT_FALSE(file.Load(dir.PathOf("")));
    EXPECT_FALSE(file.m_hex.IsOpen());
}

TEST(HexFileLoad, AnotherLoadReplacesTheOpenFile) {
    CTempDir dir;
    SLoadedHex file;
    ASSERT_TRUE(file.Load(dir.Write("a.hex", kTwoRecords)));
    ASSERT_TRUE(file.Load(dir.Write("b.hex", ":0100000011EE\n")));
    EXPECT_EQ(file.m_hex.TotalLines(), 1);
    ASSERT_TRUE(file.m_hex.Rewind());
    uint8_t buffer[kLineBufferSize];
    EXPECT_EQ(file.m_hex.ReadRecord(buffer, kReadRecordLimit), 6);
    EXPECT_EQ(buffer[4], 0x11);
    file.m_hex.CloseFile();
    EXPECT_FALSE(file.m_hex.IsOpen());
    file.m_hex.CloseFile();
}

TEST(HexFileLoad, TwoOpenFilesReadIndependently) {
    CTempDir dir;
    SLoadedHex first;
    SLoadedHex second;
    ASSERT_TRUE(first.Load(dir.Write("a.hex", kTwoRecords)));
    ASSERT_TRUE(second.Load(dir.Write("b.hex", ":0100000011EE\n")));
    ASSERT_TRUE(first.m_hex.Rewind());
    ASSERT_TRUE(second.m_hex.Rewind());
    uint8_t buffer[kLineBufferSize];
    EXPECT_EQ(first.m_hex.ReadRecord(buffer, kReadRecordLimit), 9);
    EXPECT_EQ(second.m_hex.ReadRecord(buffer, kReadRecordLimit), 6);
    EXPECT_EQ(first.m_hex.ReadRecord(buffer, kReadRecordLimit), 5);
}

TEST(HexFileProgress, CountersCanBeReadWhileAnotherThreadReadsRecords) {
    CTempDir dir;
    std::string text;
    for (int i = 0; i < 2000; ++i) text += ":0100000011EE\n";
    SLoadedHex file;
    ASSERT_TRUE(file.Load(dir.Write("a.hex", text)));
    ASSERT_TRUE(file.m_hex.Rewind());
    std::atomic<bool> done{false};
    std::thread reader([&] {
        uint8_t buffer[kLineBufferSize];
        while (file.m_hex.ReadRecord(buffer, kReadRecordLimit) != 0) {
        }
        done = true;
    });
    int32_t last = 0;
    for (int polls = 0; polls < 1000000 && !done; ++polls) {
        const int32_t now = file.m_hex.LinesRead();
        EXPECT_GE(now, last);
        EXPECT_LE(now, file.m_hex.TotalLines());
        last = now;
    }
    reader.join();
    EXPECT_EQ(file.m_hex.LinesRead(), 2000);
}
