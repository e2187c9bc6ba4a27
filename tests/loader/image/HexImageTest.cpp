// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Crc16.h"
#include "HexFile.h"
#include "HexTestSupport.h"
#include "ImageBuilder.h"

namespace {
using Bytes = std::vector<uint8_t>;

// One record line with a correct checksum.
std::string Rec(uint8_t type, uint16_t offset, const Bytes& data) {
    Bytes record{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(offset >> 8),
                 static_cast<uint8_t>(offset), type};
    record.insert(record.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : record) sum += b;
    record.push_back(static_cast<uint8_t>(0x100 - (sum & 0xFF)));
    std::string line = ":";
    char pair[3];
    for (uint8_t b : record) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        line += pair;
    }
    return line + "\n";
}
std::string Ela(uint16_t upper) {
    return Rec(4, 0, {uint8_t(upper >> 8), uint8_t(upper)});
}
const std::string kEnd = ":00000001FF\n";

Bytes Counting(size_t n, uint8_t first = 1) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
    return b;
}

struct SResult {
    uint32_t start = 0;
    uint32_t length = 0;
    uint16_t crc = 0;
    bool hasData = false;
};

class HexImage : public ::testing::TestWithParam<bool> {
  protected:
    SResult Compute(const std::string& text) {
        EXPECT_TRUE(m_file.Load(m_dir.Write("firmware.hex", text, GetParam())));
        return Compute();
    }
    SResult Compute() {
        SResult r;
        const uint16_t returned = m_file.m_hex.ComputeImageCrc(r.start, r.length, r.crc);
        EXPECT_EQ(returned, r.crc);
        r.hasData = m_file.m_hex.ImageHasData();
        return r;
    }
    static Bytes ImageAt(uint32_t address, size_t n) {
        const uint8_t* p = CHexFile::Image() + (address - kImageBase);
        return Bytes(p, p + n);
    }
    static bool ImageIsBlankExcept(uint32_t address, size_t n) {
        const uint8_t* image = CHexFile::Image();
        const uint32_t from = address - kImageBase;
        for (uint32_t i = 0; i < kImageSize; ++i) {
            if ((i < from || i >= from + n) && image[i] != 0xFF) return false;
        }
        return true;
    }

    CTempDir m_dir;
    SLoadedHex m_file;
};
}  // namespace

TEST_P(HexImage, PhysicalAndVirtualUpperAddressesLandAtTheSamePlace) {
    const Bytes data = Counting(16);
    const SResult physical = Compute(Ela(0x1D00) + Rec(0, 0x0010, data) + kEnd);
    EXPECT_EQ(ImageAt(0x9D000010, 16), data);
    EXPECT_TRUE(ImageIsBlankExcept(0x9D000010, 16));
    const SResult kseg = Compute(Ela(0x9D00) + Rec(0, 0x0010, data) + kEnd);
    EXPECT_EQ(ImageAt(0x9D000010, 16), data);
    for (const SResult& r : {physical, kseg}) {
        EXPECT_TRUE(r.hasData);
        EXPECT_EQ(r.start, 0x9D000010u);
        EXPECT_EQ(r.length, 16u);
        EXPECT_EQ(r.crc, Crc16(data.data(), 16));
    }
}

TEST_P(HexImage, TheRangeIsRoundedOutToMultiplesOfFour) {
    const Bytes data = Counting(14);  // 0x9D000003 .. 0x9D000010, end 0x9D000011
    const SResult r = Compute(Ela(0x1D00) + Rec(0, 0x0003, data) + kEnd);
    EXPECT_EQ(r.start, 0x9D000000u);
    EXPECT_EQ(r.length, 0x14u);
    Bytes expected(0x14, 0xFF);
    std::copy(data.begin(), data.end(), expected.begin() + 3);
    EXPECT_EQ(r.crc, Crc16(expected.data(), 0x14));

    // An end already on a multiple of 4 stays; records out of order widen the range both ways.
    const SResult aligned =
        Compute(Ela(0x1D00) + Rec(0, 0x0108, Counting(8)) + Rec(0, 0x0004, Counting(4)) + kEnd);
    EXPECT_EQ(aligned.start, 0x9D000004u);
    EXPECT_EQ(aligned.length, 0x10Cu);
}

TEST_P(HexImage, BootFlashAndUncachedRecordsAreLeftOutOfTheImageButStillRead) {
    const std::string text = Ela(0x1FC0) + Rec(0, 0, Counting(8)) + Ela(0xBD00) +
                             Rec(0, 0, Counting(8)) + Ela(0x9FC0) + Rec(0, 0, Counting(8)) +
                             Ela(0x1D00) + Rec(0, 0x20, Counting(4)) + kEnd;
    const SResult r = Compute(text);
    EXPECT_EQ(r.start, 0x9D000020u);
    EXPECT_EQ(r.length, 4u);
    EXPECT_TRUE(ImageIsBlankExcept(0x9D000020, 4));
    EXPECT_EQ(m_file.m_hex.LinesRead(), 9);

    ASSERT_TRUE(m_file.m_hex.Rewind());
    uint8_t record[kLineBufferSize];
    int records = 0;
    while (m_file.m_hex.ReadRecord(record, kReadRecordLimit) != 0 && records < 20) ++records;
    EXPECT_EQ(records, 9);
}

TEST_P(HexImage, AnySegmentOrOtherRecordResetsTheBasesAndReadingGoesOn) {
    // After the end record (and after types 2, 3, 5) the base is 0: the data lands at
    // 0x80000010, outside the window; reading goes on to the record after the next type 4.
    for (const std::string& reset :
         {kEnd, Rec(2, 0, {0x12, 0x34}), Rec(3, 0, {0, 0, 0, 0}), Rec(5, 0, {0, 0, 0, 0})}) {
        const SResult r = Compute(Ela(0x1D00) + reset + Rec(0, 0x10, Counting(4)) + Ela(0x1D00) +
                                  Rec(0, 0x40, Counting(4)) + kEnd);
        EXPECT_EQ(r.start, 0x9D000040u) << reset;
        EXPECT_EQ(r.length, 4u) << reset;
        EXPECT_TRUE(ImageIsBlankExcept(0x9D000040, 4)) << reset;
    }
}

TEST_P(HexImage, ASegmentBaseNeverReachesTheWindow) {
    // 0x1234 x 256 = 0x123400; even the largest segment stays below 0x9D000000 once ORed.
    const SResult r = Compute(Rec(2, 0, {0x12, 0x34}) + Rec(0, 0, Counting(4)) +
                              Rec(2, 0, {0xFF, 0xFF}) + Rec(0, 0xFFF0, Counting(4)) + kEnd);
    EXPECT_FALSE(r.hasData);
    EXPECT_TRUE(ImageIsBlankExcept(kImageBase, 0));
}

TEST_P(HexImage, TheBuildStopsAtTheFirstLineThatIsNotARecord) {
    const std::string text =
        Ela(0x1D00) + Rec(0, 0, Counting(4)) + "\n" + Rec(0, 0x100, Counting(4)) + kEnd;
    const SResult r = Compute(text);
    EXPECT_EQ(r.start, 0x9D000000u);
    EXPECT_EQ(r.length, 4u);
    EXPECT_EQ(m_file.m_hex.LinesRead(), 2);
    // The stream is left behind the blank line.
    uint8_t record[kLineBufferSize];
    EXPECT_EQ(m_file.m_hex.ReadRecord(record, kReadRecordLimit), 9);
    EXPECT_EQ(record[2], 0x00);
    EXPECT_EQ(record[1], 0x01);

    // A ':' with nothing after it is counted and ends the build too.
    const int32_t before = m_file.m_hex.LinesRead();
    const SResult colon = Compute(Ela(0x1D00) + ":\n" + Rec(0, 0, Counting(4)) + kEnd);
    EXPECT_FALSE(colon.hasData);
    EXPECT_EQ(m_file.m_hex.LinesRead() - before, 2);
}

TEST_P(HexImage, EveryBuildRefillsTheImageAndRereadsTheFile) {
    Compute(Ela(0x1D00) + Rec(0, 0, Counting(16)) + kEnd);
    const SResult r = Compute(Ela(0x1D4F) + Rec(0, 0xFFF0, Counting(16, 0x80)) + kEnd);
    EXPECT_EQ(r.start, 0x9D4FFFF0u);
    EXPECT_EQ(r.length, 16u);
    EXPECT_TRUE(ImageIsBlankExcept(0x9D4FFFF0, 16));
    // Reading on after a build and building again gives the same result.
    uint8_t record[kLineBufferSize];
    m_file.m_hex.ReadRecord(record, kReadRecordLimit);
    const SResult again = Compute();
    EXPECT_EQ(again.crc, r.crc);
    EXPECT_EQ(again.length, r.length);
}

TEST_P(HexImage, BytesOutsideTheWindowAreDroppedAndLeftOutOfTheRange) {
    // 8 bytes below the window's start, 8 inside; 8 inside at its end, 8 beyond it.
    const SResult r = Compute(Ela(0x1CFF) + Rec(0, 0xFFF8, Counting(16)) + Ela(0x1D4F) +
                              Rec(0, 0xFFF8, Counting(16, 0x40)) + kEnd);
    EXPECT_TRUE(r.hasData);
    EXPECT_EQ(r.start, kImageBase);
    EXPECT_EQ(r.length, kImageSize);
    EXPECT_EQ(ImageAt(kImageBase, 8), Counting(8, 9));
    EXPECT_EQ(ImageAt(0x9D4FFFF8, 8), Counting(8, 0x40));
    EXPECT_EQ(r.crc, Crc16(CHexFile::Image(), kImageSize));

    // Only outside: nothing is in the image.
    const SResult outside =
        Compute(Ela(0x1CFF) + Rec(0, 0xFF00, Counting(16)) + Ela(0x1D50) + Rec(0, 0, Counting(16)) +
                Ela(0x1FBF) + Rec(0, 0xFFF0, Counting(16)) + kEnd);
    EXPECT_FALSE(outside.hasData);
    EXPECT_TRUE(ImageIsBlankExcept(kImageBase, 0));
}

TEST_P(HexImage, AFileWithoutDataReportsAnEmptyRangeAtTheWindowStart) {
    for (const std::string& text :
         {std::string(), kEnd, Ela(0x1D00) + kEnd, std::string("junk\n")}) {
        const SResult r = Compute(text);
        EXPECT_FALSE(r.hasData);
        EXPECT_EQ(r.start, kImageBase);
        EXPECT_EQ(r.length, 0u);
        EXPECT_EQ(r.crc, 0u);
    }
    EXPECT_TRUE(Compute(Ela(0x1D00) + Rec(0, 0, {0x00}) + kEnd).hasData);
    // A new file has no image until it is built.
    ASSERT_TRUE(m_file.Load(m_dir.Write("next.hex", kEnd)));
    EXPECT_FALSE(m_file.m_hex.ImageHasData());
}

TEST_P(HexImage, BytesACountClaimsButTheLineLacksKeepWhatTheImageHolds) {
    // Count 0x10 with 4 data bytes: the checksum pair is taken as a fifth data byte, and the
    // other 11 keep 0xFF, or what an earlier record put there. All 16 count toward the range.
    const std::string earlier = Ela(0x1D00) + Rec(0, 0x0000, Bytes(16, 0x55));
    const std::string shortRecord = ":1000000001020304AA\n";
    const SResult r = Compute(earlier + shortRecord + kEnd);
    EXPECT_EQ(r.length, 16u);
    Bytes expected{1, 2, 3, 4, 0xAA};
    expected.resize(16, 0x55);
    EXPECT_EQ(ImageAt(kImageBase, 16), expected);

    const SResult alone = Compute(Ela(0x1D00) + ":1000100001020304AA\n" + kEnd);
    EXPECT_EQ(alone.start, 0x9D000010u);
    EXPECT_EQ(alone.length, 16u);
    expected.assign({1, 2, 3, 4, 0xAA});
    expected.resize(16, 0xFF);
    EXPECT_EQ(ImageAt(0x9D000010, 16), expected);

    // A type 4 record without its data bytes reads them as 0xFF: 0xFFFF0000 is not in the image.
    EXPECT_FALSE(Compute(Ela(0x1D00) + ":02000004\n" + Rec(0, 0, Counting(4)) + kEnd).hasData);
    // A record too short to hold its type only resets the bases.
    EXPECT_FALSE(Compute(Ela(0x1D00) + ":020000\n" + Rec(0, 0, Counting(4)) + kEnd).hasData);
}

TEST_P(HexImage, ARecordOf255DataBytesIsImagedWhole) {
    const SResult r = Compute(Ela(0x1D00) + Rec(0, 0, Counting(255)) + Rec(0, 0x100, Counting(4)) +
                              Rec(0, 0x104, Counting(255, 7)) + kEnd);
    EXPECT_EQ(r.start, kImageBase);
    EXPECT_EQ(r.length, 0x204u);  // 0x203 rounded up
    EXPECT_EQ(ImageAt(kImageBase, 255), Counting(255));
    EXPECT_EQ(ImageAt(0x9D000104, 255), Counting(255, 7));
    EXPECT_EQ(m_file.m_hex.LinesRead(), 5);
    EXPECT_EQ(m_file.m_hex.TotalLines(), 5);
}

TEST_P(HexImage, ALineLongerThanTheBufferGivesOnePieceAndTheBuildStopsAtTheRest) {
    // 0xFF = 255 data bytes claimed; the 999-character piece holds 495, of which the count's
    // 255 are placed. The rest of the line does not start with ':'.
    std::string line = ":FF000000";
    while (line.size() < 1200) line += "A5";
    const SResult r = Compute(Ela(0x1D00) + line + "\n" + Rec(0, 0x1000, Counting(4)) + kEnd);
    EXPECT_EQ(r.start, kImageBase);
    EXPECT_EQ(r.length, 256u);  // 255 rounded up
    EXPECT_EQ(ImageAt(kImageBase, 255), Bytes(255, 0xA5));
    EXPECT_TRUE(ImageIsBlankExcept(kImageBase, 255));
    EXPECT_EQ(m_file.m_hex.LinesRead(), 2);
}

TEST_P(HexImage, AnOddDigitAndANonHexPairAreImagedAsReadRecordGivesThem) {
    // "B\n" gives 0x0B, the third data byte of a record that lacks its checksum.
    SResult r = Compute(Ela(0x1D00) + ":030000001234B\n" + kEnd);
    EXPECT_EQ(r.length, 4u);
    EXPECT_EQ(ImageAt(kImageBase, 4), (Bytes{0x12, 0x34, 0x0B, 0xFF}));
    r = Compute(Ela(0x1D00) + ":04000000G11Gxy00\n" + kEnd);
    EXPECT_EQ(ImageAt(kImageBase, 4), (Bytes{0x00, 0x01, 0x00, 0x00}));
}

INSTANTIATE_TEST_SUITE_P(LineEnds, HexImage, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "CrLf" : "Lf"; });

TEST(HexImageLineEnds, CrLfAndLfFilesGiveTheSameCountsRecordsAndCrc) {
    CTempDir dir;
    std::string text = Ela(0x1D00);
    for (uint8_t i = 0; i < 40; ++i)
        text += Rec(0, static_cast<uint16_t>(i * 16 + 3), Counting(16, i));
    text += kEnd;
    SLoadedHex lf;
    SLoadedHex crlf;
    ASSERT_TRUE(lf.Load(dir.Write("lf.hex", text, false)));
    ASSERT_TRUE(crlf.Load(dir.Write("crlf.hex", text, true)));
    EXPECT_EQ(lf.m_hex.TotalLines(), crlf.m_hex.TotalLines());
    ASSERT_TRUE(lf.m_hex.Rewind());
    ASSERT_TRUE(crlf.m_hex.Rewind());
    uint8_t a[kLineBufferSize];
    uint8_t b[kLineBufferSize];
    for (int i = 0; i < 43; ++i) {
        const uint16_t n = lf.m_hex.ReadRecord(a, kReadRecordLimit);
        ASSERT_EQ(n, crlf.m_hex.ReadRecord(b, kReadRecordLimit));
        EXPECT_EQ(Bytes(a, a + n), Bytes(b, b + n));
    }
    SResult x;
    SResult y;
    lf.m_hex.ComputeImageCrc(x.start, x.length, x.crc);
    crlf.m_hex.ComputeImageCrc(y.start, y.length, y.crc);
    EXPECT_EQ(x.start, y.start);
    EXPECT_EQ(x.length, y.length);
    EXPECT_EQ(x.crc, y.crc);
    EXPECT_EQ(lf.m_hex.LinesRead(), crlf.m_hex.LinesRead());
}

TEST(HexImageWithoutFile, ReportsNoData) {
    CHexFile hex;
    SResult r;
    EXPECT_EQ(hex.ComputeImageCrc(r.start, r.length, r.crc), 0);
    EXPECT_FALSE(hex.ImageHasData());
    EXPECT_EQ(r.start, kImageBase);
    EXPECT_EQ(r.length, 0u);
}
