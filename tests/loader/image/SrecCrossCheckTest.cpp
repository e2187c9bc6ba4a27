// SPDX-License-Identifier: Apache-2.0
// The image's range and CRC against srec_cat's over the same generated files, gaps filled 0xFF.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "FirmwareCheck.h"
#include "HexFile.h"
#include "HexGen.h"
#include "HexTestSupport.h"

namespace {
std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    size_t from = 0;
    while (from <= dirs.size()) {
        const size_t colon = std::min(dirs.find(':', from), dirs.size());
        const std::string candidate = dirs.substr(from, colon - from) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        from = colon + 1;
    }
    return {};
}

std::string RunAndCapture(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[512];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
    return output;
}

struct SSrecResult {
    bool ok = false;
    uint32_t first = 0;
    uint32_t last = 0;  // inclusive
    uint16_t crc = 0;
    std::string log;
};

// The data, filled with 0xFF from the lowest to the highest address and padded out to whole
// 4-byte words, is the range; its CRC-16/XMODEM is placed at address 0 and cut out again.
SSrecResult AskSrecord(const std::string& srecCat, const std::string& srecInfo,
                       const std::string& file) {
    SSrecResult r;
    const std::string input = "'" + file + "' -intel";
    const std::string filled = input + " -fill 0xFF -over " + input + " -range-pad 4";
    const std::string info = RunAndCapture(srecInfo + " " + filled);
    const std::string crc =
        RunAndCapture(srecCat + " " + filled + " -crc16-b-e 0 -xmodem -crop 0 2 -o - -hex-dump");
    r.log = info + crc;
    const size_t data = info.find("Data:");
    unsigned first = 0;
    unsigned last = 0;
    unsigned high = 0;
    unsigned low = 0;
    if (data == std::string::npos ||
        std::sscanf(info.c_str() + data, "Data: %x - %x", &first, &last) != 2 ||
        info.find("Data:", data + 1) != std::string::npos ||
        std::sscanf(crc.c_str(), "00000000: %x %x", &high, &low) != 2) {
        return r;
    }
    r.ok = true;
    r.first = first;
    r.last = last;
    r.crc = static_cast<uint16_t>(high << 8 | low);
    return r;
}

// srec_cat's own rewrite of input (optionally cropped), records of up to perRecord data bytes.
std::string Reblocked(const std::string& srecCat, const std::string& input, const std::string& crop,
                      int perRecord, bool crlf) {
    return RunAndCapture(srecCat + " '" + input + "' -intel" + crop + " -o - -intel" +
                         " -output_block_size=" + std::to_string(perRecord) +
                         (crlf ? " -line-termination=crlf" : ""));
}

std::string Crop(uint32_t from, uint32_t to) {
    char text[64];
    std::snprintf(text, sizeof text, " -crop 0x%08" PRIX32 " 0x%08" PRIX32, from, to);
    return text;
}

std::string WithoutEndRecord(const std::string& text) {
    std::string kept;
    size_t from = 0;
    while (from < text.size()) {
        const size_t end = std::min(text.find('\n', from), text.size() - 1) + 1;
        if (text.compare(from, 9, ":00000001") != 0) kept += text.substr(from, end - from);
        from = end;
    }
    return kept;
}

struct SLineStats {
    int32_t records = 0;
    int32_t others = 0;
    size_t longest = 0;
};

SLineStats CountLines(const std::string& path) {
    SLineStats stats;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        (line.size() > 0 && line[0] == ':' ? stats.records : stats.others) += 1;
        stats.longest = std::max(stats.longest, line.size());
    }
    return stats;
}

struct SCase {
    const char* name;
    CHexGenOptions options;
};

CHexGenOptions Options(uint32_t bytes, uint32_t perRecord, uint32_t start, uint32_t seed,
                       uint32_t gapEvery, uint32_t gapBytes, bool crlf) {
    CHexGenOptions o;
    o.totalBytes = bytes;
    o.bytesPerRecord = perRecord;
    o.startAddress = start;
    o.seed = seed;
    o.gapEvery = gapEvery;
    o.gapBytes = gapBytes;
    o.crlf = crlf;
    return o;
}
}  // namespace

TEST(SrecCrossCheck, RangeAndCrcMatchSrecCat) {
    const std::string srecCat = FindProgram("srec_cat");
    const std::string srecInfo = FindProgram("srec_info");
    // A missing tool is a failure: this check must not pass by being skipped.
    ASSERT_FALSE(srecCat.empty()) << "srec_cat not found (Debian package srecord)";
    ASSERT_FALSE(srecInfo.empty()) << "srec_info not found (Debian package srecord)";

    const SCase cases[] = {
        {"16 per record, physical", Options(20000, 16, 0x1D000000, 1, 0, 0, false)},
        {"32 per record, physical, CR LF", Options(20000, 32, 0x1D000000, 2, 0, 0, true)},
        {"16 per record, kseg0, gaps", Options(150000, 16, 0x9D000000, 3, 100, 300, false)},
        {"32 per record, gaps, 64 KiB crossings",
         Options(200000, 32, 0x1D00F000, 4, 7, 1000, true)},
        {"unaligned start and end", Options(12345, 16, 0x1D000003, 5, 3, 5, false)},
        {"unaligned 32, kseg0, CR LF", Options(77777, 32, 0x9D123457, 6, 50, 65536, true)},
        {"up to the window's end", Options(65536, 32, 0x1D4F0000, 7, 0, 0, false)},
    };
    CTempDir dir;
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        const std::string path = dir.PathOf("generated.hex");
        ASSERT_TRUE(WriteHexFile(path, c.options, error)) << error;

        SLoadedHex file;
        ASSERT_TRUE(file.Load(path));
        uint32_t start = 0;
        uint32_t length = 0;
        uint16_t crc = 0;
        file.m_hex.ComputeImageCrc(start, length, crc);
        ASSERT_TRUE(file.m_hex.ImageHasData());

        const SSrecResult srec = AskSrecord(srecCat, srecInfo, path);
        ASSERT_TRUE(srec.ok) << srec.log;
        EXPECT_EQ(start, srec.first | 0x80000000U);
        EXPECT_EQ(length, srec.last + 1 - srec.first);
        EXPECT_EQ(crc, srec.crc);
    }
}

// Records of up to 255 data bytes, 521 characters a line, as srec_cat writes them when asked,
// alone and mixed with 16-byte records: each is one line, read whole.
TEST(SrecCrossCheck, LongRecordsCountOnceAndMatchSrecCat) {
    const std::string srecCat = FindProgram("srec_cat");
    const std::string srecInfo = FindProgram("srec_info");
    ASSERT_FALSE(srecCat.empty()) << "srec_cat not found (Debian package srecord)";
    ASSERT_FALSE(srecInfo.empty()) << "srec_info not found (Debian package srecord)";

    CTempDir dir;
    std::string error;
    const std::string gaps = dir.PathOf("gaps.hex");
    ASSERT_TRUE(WriteHexFile(gaps, Options(200000, 32, 0x1D00F003, 4, 100, 1000, false), error));
    const std::string kseg0 = dir.PathOf("kseg0.hex");
    ASSERT_TRUE(WriteHexFile(kseg0, Options(77777, 32, 0x9D123457, 6, 50, 65536, false), error));

    const uint32_t s = 0x1D00F003;
    const std::string mixed =
        WithoutEndRecord(Reblocked(srecCat, gaps, Crop(s, s + 60000), 255, false)) +
        WithoutEndRecord(Reblocked(srecCat, gaps, Crop(s + 60000, s + 120000), 16, false)) +
        Reblocked(srecCat, gaps, Crop(s + 120000, 0x1D500000), 255, false);
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"255 per record, gaps", Reblocked(srecCat, gaps, "", 255, false)},
        {"255 per record, kseg0, CR LF", Reblocked(srecCat, kseg0, "", 255, true)},
        {"255, 16 and 255 per record", mixed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write("long.hex", c.text);
        const SLineStats lines = CountLines(path);
        ASSERT_EQ(lines.others, 0) << c.text.substr(0, 200);
        ASSERT_EQ(lines.longest, 521u);

        SLoadedHex file;
        ASSERT_TRUE(file.Load(path));
        EXPECT_EQ(file.m_hex.TotalLines(), lines.records);
        const SFirmwareCheck check = CheckFirmware(file.m_hex);
        EXPECT_EQ(check.problem, EFirmwareProblem::kNone);
        uint32_t start = 0;
        uint32_t length = 0;
        uint16_t crc = 0;
        file.m_hex.ComputeImageCrc(start, length, crc);
        EXPECT_EQ(file.m_hex.LinesRead(), lines.records);
        EXPECT_EQ(check.records, lines.records);
        EXPECT_EQ(check.crc, crc);

        const SSrecResult srec = AskSrecord(srecCat, srecInfo, path);
        ASSERT_TRUE(srec.ok) << srec.log;
        EXPECT_EQ(start, srec.first | 0x80000000U);
        EXPECT_EQ(length, srec.last + 1 - srec.first);
        EXPECT_EQ(crc, srec.crc);
    }
}
