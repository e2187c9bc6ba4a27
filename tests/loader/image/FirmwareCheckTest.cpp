#include <gtest/gtest.h>

#include <string>

#include "FirmwareCheck.h"
#include "HexFile.h"
#include "HexTestSupport.h"

namespace {
const std::string kEla = ":020000041D00DD\n";
const std::string kData = ":0400100001020304E2\n";
const std::string kEnd = ":00000001FF\n";

struct SChecked {
    EFirmwareProblem problem = EFirmwareProblem::kNone;
    int32_t line = -1;
    int32_t linesRead = -1;
};

// Every file is checked with LF and with CR LF line ends: line numbers must not differ.
class FirmwareCheck : public ::testing::TestWithParam<bool> {
  protected:
    SChecked Check(const std::string& text) {
        SChecked r;
        EXPECT_TRUE(m_file.Load(m_dir.Write("firmware.hex", text, GetParam())));
        r.problem = CheckFirmware(m_file.m_hex, r.line);
        r.linesRead = m_file.m_hex.LinesRead();
        return r;
    }

    CTempDir m_dir;
    SLoadedHex m_file;
};
}  // namespace

TEST_P(FirmwareCheck, AGoodFilePassesAndIsLeftRewound) {
    for (const std::string& text : {kEla + kData + kData + kEnd, kEla + kData + kEnd + "\n\n",
                                    kEla + kData + kEnd + "trailing text\n",
                                    kEla + kData + kEnd.substr(0, kEnd.size() - 1)}) {
        const SChecked r = Check(text);
        EXPECT_EQ(r.problem, EFirmwareProblem::kNone) << text;
        EXPECT_EQ(r.line, 0);
        EXPECT_EQ(r.linesRead, 0);
    }
    // Programming then starts at the first record.
    uint8_t record[kLineBufferSize];
    EXPECT_EQ(m_file.m_hex.ReadRecord(record, kReadRecordLimit), 7);
    EXPECT_EQ(record[3], 0x04);
}

TEST_P(FirmwareCheck, ALineThatIsNotARecordBeforeALaterRecordIsNamed) {
    SChecked r = Check(kEla + kData + "\n" + kData + kEnd);
    EXPECT_EQ(r.problem, EFirmwareProblem::kStrayLine);
    EXPECT_EQ(r.line, 3);
    EXPECT_EQ(r.linesRead, 0);
    // The first of several is named; a ':' with no digits gives no record either.
    r = Check(kEla + kData + kData + "note\n\n" + kData + kEnd);
    EXPECT_EQ(r.problem, EFirmwareProblem::kStrayLine);
    EXPECT_EQ(r.line, 4);
    r = Check(kEla + ":\n" + kData + kEnd);
    EXPECT_EQ(r.problem, EFirmwareProblem::kStrayLine);
    EXPECT_EQ(r.line, 2);
    // The rest of a line longer than the line buffer is such a line.
    std::string longLine = ":FF000000";
    while (longLine.size() < 1200) longLine += "A5";
    r = Check(kEla + longLine + "\n" + kEnd);
    EXPECT_EQ(r.problem, EFirmwareProblem::kStrayLine);
    EXPECT_EQ(r.line, 3);
}

TEST_P(FirmwareCheck, AFileThatDoesNotStartWithARecordIsRefused) {
    const std::string binary(
        "\x7f"
        "ELF\x02\x01\x01\x00:0400",
        13);
    for (const std::string& text : {std::string(), std::string("\n") + kEla + kData,
                                    "firmware v2\n" + kEla + kData, binary, std::string(":\n")}) {
        const SChecked r = Check(text);
        EXPECT_EQ(r.problem, EFirmwareProblem::kNoRecord);
        EXPECT_EQ(r.line, 0);
        EXPECT_EQ(r.linesRead, 0);
    }
}

TEST_P(FirmwareCheck, RecordsWithNoDataInTheWindowAreRefused) {
    // End record only; data below the window; data in boot flash.
    for (const std::string& text :
         {kEnd, ":020000041CFFDF\n" + kData + kEnd, ":020000041FC01B\n" + kData + kEnd}) {
        const SChecked r = Check(text);
        EXPECT_EQ(r.problem, EFirmwareProblem::kNoData);
        EXPECT_EQ(r.linesRead, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(LineEnds, FirmwareCheck, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "CrLf" : "Lf"; });

TEST(FirmwareCheckNoFile, AClosedFileIsNoFile) {
    CHexFile hex;
    int32_t line = -1;
    EXPECT_EQ(CheckFirmware(hex, line), EFirmwareProblem::kNoFile);
    EXPECT_EQ(line, 0);
}
