// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FirmwareCheck.h"
#include "HexFile.h"
#include "HexRecordText.h"
#include "HexTestSupport.h"

namespace {
const std::string kEla = ":020000041D00DD\n";
const std::string kData = ":0400100001020304E2\n";
const std::string kEnd = ":00000001FF\n";

struct SChecked {
    SFirmwareCheck check;
    int32_t linesRead = -1;
};

// A data record of 255 bytes at offset 0: the longest legal line, 521 characters.
std::string LongestRecord() {
    return HexRecord(0, 0, std::vector<uint8_t>(255, 0xA5));
}

// Every file is checked with LF and with CR LF line ends: line numbers must not differ.
class FirmwareCheck : public ::testing::TestWithParam<bool> {
  protected:
    SChecked Check(const std::string& text) {
        SChecked r;
        EXPECT_TRUE(m_file.Load(m_dir.Write("firmware.hex", text, GetParam())));
        r.check = CheckFirmware(m_file.m_hex);
        r.linesRead = m_file.m_hex.LinesRead();
        return r;
    }

    // The file's one damaged record is on `line`, with this fault.
    void ExpectDamaged(const std::string& text, int32_t line, ERecordFault kind, uint32_t found,
                       uint32_t expected = 0, uint32_t column = 0) {
        const SChecked r = Check(text);
        EXPECT_EQ(r.check.problem, EFirmwareProblem::kDamagedRecord) << text.substr(0, 80);
        EXPECT_EQ(r.check.line, line) << text.substr(0, 80);
        EXPECT_EQ(r.check.record.kind, kind) << text.substr(0, 80);
        EXPECT_EQ(r.check.record.found, found) << text.substr(0, 80);
        EXPECT_EQ(r.check.record.expected, expected) << text.substr(0, 80);
        EXPECT_EQ(r.check.record.column, column) << text.substr(0, 80);
        EXPECT_EQ(r.linesRead, 0);
    }

    CTempDir m_dir;
    SLoadedHex m_file;
};
}  // namespace

TEST_P(FirmwareCheck, AGoodFilePassesAndIsLeftRewound) {
    for (const std::string& text :
         {kEla + kData + kData + kEnd, kEla + kData + kEnd + "\n\n",
          kEla + kData + kEnd + "trailing text\n", kEla + kData + kEnd.substr(0, kEnd.size() - 1),
          kEla + ":0400100001020304e2\n" + kEnd, kEla + LongestRecord() + kEnd,
          kEla + kData + kEnd + std::string(1500, '#') + "\n"}) {
        const SChecked r = Check(text);
        EXPECT_EQ(r.check.problem, EFirmwareProblem::kNone) << text.substr(0, 80);
        EXPECT_EQ(r.check.line, 0);
        EXPECT_EQ(r.linesRead, 0);
        // The range and CRC come from the same pass, as the verify will compute them.
        uint32_t start = 0, length = 0;
        uint16_t crc = 0;
        m_file.m_hex.ComputeImageCrc(start, length, crc);
        m_file.m_hex.Rewind();
        EXPECT_EQ(r.check.start, start);
        EXPECT_EQ(r.check.length, length);
        EXPECT_EQ(r.check.crc, crc);
    }
    // Programming then starts at the first record.
    uint8_t record[kLineBufferSize];
    EXPECT_EQ(m_file.m_hex.ReadRecord(record, kReadRecordLimit), 7);
    EXPECT_EQ(record[3], 0x04);
}

TEST_P(FirmwareCheck, ADamagedRecordIsNamedByLineAndFault) {
    // One data digit changed: the byte count and length still agree, the checksum does not.
    ExpectDamaged(kEla + ":0400100001020305E2\n" + kEnd, 2, ERecordFault::kChecksum, 0xE2, 0xE1);
    ExpectDamaged(kEla + kData + kData + ":00000001FE\n", 4, ERecordFault::kChecksum, 0xFE, 0xFF);
    ExpectDamaged(kEla + ":04001000010G0304E2\n" + kEnd, 2, ERecordFault::kNotHex, 'G', 0, 13);
    ExpectDamaged(kEla + ":0400100001020304E2 \n" + kEnd, 2, ERecordFault::kNotHex, ' ', 0, 20);
    ExpectDamaged(kEla + ":04001000010203 04E2\n" + kEnd, 2, ERecordFault::kNotHex, ' ', 0, 16);
    ExpectDamaged(kEla + ":0400100001020304E\n" + kEnd, 2, ERecordFault::kOddDigits, 17);
    ExpectDamaged(kEla + kData + ":00000001F", 3, ERecordFault::kOddDigits, 9);
    ExpectDamaged(kEla + ":04001000010203E6\n" + kEnd, 2, ERecordFault::kByteCount, 4, 3);
    ExpectDamaged(kEla + ":030010000102030400E5\n" + kEnd, 2, ERecordFault::kByteCount, 3, 5);
    ExpectDamaged(kEla + ":00000001\n" + kEnd, 2, ERecordFault::kShort, 4);
    // A NUL inside a record is a character like any other.
    ExpectDamaged(kEla + std::string(":04001000\0", 10) + "1020304E2\n" + kEnd, 2,
                  ERecordFault::kNotHex, 0, 0, 10);
}

TEST_P(FirmwareCheck, ALineLongerThanTheLongestRecordIsNamedItself) {
    const std::string longest = LongestRecord();
    ASSERT_EQ(longest.size(), 522u);  // with its line break
    // One digit pair more than the longest record: too long, before anything else.
    ExpectDamaged(kEla + longest.substr(0, 521) + "A5\n" + kEnd, 2, ERecordFault::kTooLong, 523,
                  521);
    // Lines that fit the reader's buffer but not the engine's reads, and lines that do not fit
    // the buffer at all: always the long line, never the rest of it or the line after.
    for (const size_t size : {995u, 999u, 1205u, 5000u}) {
        std::string line = ":FF000000";
        while (line.size() < size) line += "A5";
        line.resize(size);
        ExpectDamaged(kEla + kData + line + "\n" + kData + kEnd, 3, ERecordFault::kTooLong,
                      static_cast<uint32_t>(size), 521);
    }
}

TEST_P(FirmwareCheck, ALineThatIsNotARecordBeforeALaterRecordIsNamed) {
    SChecked r = Check(kEla + kData + "\n" + kData + kEnd);
    EXPECT_EQ(r.check.problem, EFirmwareProblem::kStrayLine);
    EXPECT_EQ(r.check.line, 3);
    EXPECT_EQ(r.linesRead, 0);
    // The first of several is named; a ':' with no digits gives no record either.
    r = Check(kEla + kData + kData + "note\n\n" + kData + kEnd);
    EXPECT_EQ(r.check.problem, EFirmwareProblem::kStrayLine);
    EXPECT_EQ(r.check.line, 4);
    r = Check(kEla + ":\n" + kData + kEnd);
    EXPECT_EQ(r.check.problem, EFirmwareProblem::kStrayLine);
    EXPECT_EQ(r.check.line, 2);
    // A long line of text counts as one line, whatever the reader's buffer holds.
    r = Check(kEla + std::string(2500, '#') + "\n" + kData + kEnd);
    EXPECT_EQ(r.check.problem, EFirmwareProblem::kStrayLine);
    EXPECT_EQ(r.check.line, 2);
}

TEST_P(FirmwareCheck, AFileThatDoesNotStartWithARecordIsRefused) {
    const std::string binary(
        "\x7f"
        "ELF\x02\x01\x01\x00:0400",
        13);
    for (const std::string& text : {std::string(), std::string("\n") + kEla + kData,
                                    "firmware v2\n" + kEla + kData, binary, std::string(":\n")}) {
        const SChecked r = Check(text);
        EXPECT_EQ(r.check.problem, EFirmwareProblem::kNoRecord);
        EXPECT_EQ(r.check.line, 0);
        EXPECT_EQ(r.linesRead, 0);
    }
}

TEST_P(FirmwareCheck, RecordsWithNoDataInTheWindowAreRefused) {
    // End record only; data below the window; data in boot flash.
    for (const std::string& text :
         {kEnd, ":020000041CFFDF\n" + kData + kEnd, ":020000041FC01B\n" + kData + kEnd}) {
        const SChecked r = Check(text);
        EXPECT_EQ(r.check.problem, EFirmwareProblem::kNoData);
        EXPECT_EQ(r.linesRead, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(LineEnds, FirmwareCheck, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "CrLf" : "Lf"; });

TEST(FirmwareCheckNoFile, AClosedFileIsNoFile) {
    CHexFile hex;
    const SFirmwareCheck check = CheckFirmware(hex);
    EXPECT_EQ(check.problem, EFirmwareProblem::kNoFile);
    EXPECT_EQ(check.line, 0);
}
