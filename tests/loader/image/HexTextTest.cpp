// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HexTestSupport.h"
#include "HexText.h"

namespace {
// Every line ReadTextLine gives for the bytes, read with the given buffer size.
std::vector<std::string> ReadAll(const std::string& bytes, int size) {
    CTempDir dir;
    const std::string path = dir.Write("lines.txt", bytes);
    FILE* f = std::fopen(path.c_str(), "r");
    std::vector<std::string> lines;
    char buffer[1000];
    for (int guard = 0; guard < 100; ++guard) {
        const int n = ReadTextLine(f, buffer, size);
        if (n == 0) break;
        EXPECT_EQ(buffer[n], '\0');
        lines.emplace_back(buffer, static_cast<size_t>(n));
    }
    std::fclose(f);
    return lines;
}

std::vector<uint8_t> Convert(const std::string& text) {
    std::vector<uint8_t> bytes(text.size() / 2 + 1, 0xEE);
    bytes.resize(ConvertPairs(text.c_str(), bytes.data()));
    return bytes;
}
}  // namespace

TEST(ReadTextLine, CrBeforeLfBelongsToTheLineBreakAndALoneCrStays) {
    using V = std::vector<std::string>;
    EXPECT_EQ(ReadAll("ab\r\ncd\n", 255), (V{"ab\n", "cd\n"}));
    EXPECT_EQ(ReadAll("a\rb\r\r\n", 255), (V{"a\rb\r\n"}));
    EXPECT_EQ(ReadAll("end\r", 255), (V{"end\r"}));
    EXPECT_EQ(ReadAll("\r\n\r\n", 255), (V{"\n", "\n"}));
    EXPECT_TRUE(ReadAll("", 255).empty());
}

TEST(ReadTextLine, ReadsAtMostSizeMinusOneCharactersCountingCrLfAsOne) {
    using V = std::vector<std::string>;
    EXPECT_EQ(ReadAll("abcdef\n", 4), (V{"abc", "def", "\n"}));
    // The CR LF that straddles the limit still arrives as one LF, as a text-mode stream gives it.
    EXPECT_EQ(ReadAll("ab\r\ncd", 4), (V{"ab\n", "cd"}));
    EXPECT_EQ(ReadAll("abc\r\n", 4), (V{"abc", "\n"}));
    // A lone CR at a piece's end is put back and read again as text.
    EXPECT_EQ(ReadAll("ab\rcd", 3), (V{"ab", "\rc", "d"}));
}

TEST(ConvertPairs, StopsAtThePairThatReachesTheTerminator) {
    EXPECT_EQ(Convert("0A1b2C\n"), (std::vector<uint8_t>{0x0A, 0x1B, 0x2C}));
    EXPECT_EQ(Convert("0A1b2C"), (std::vector<uint8_t>{0x0A, 0x1B, 0x2C}));
    // The odd last digit is paired with the line break.
    EXPECT_EQ(Convert("0A1\n"), (std::vector<uint8_t>{0x0A, 0x01}));
    // ...but dropped when no line break follows.
    EXPECT_EQ(Convert("0A1"), (std::vector<uint8_t>{0x0A}));
    EXPECT_TRUE(Convert("\n").empty());
    EXPECT_TRUE(Convert("").empty());
}

TEST(ConvertPairs, ANonHexPairGivesItsLeadingDigitsOrZero) {
    EXPECT_EQ(Convert("G1"), (std::vector<uint8_t>{0x00}));
    EXPECT_EQ(Convert("1G"), (std::vector<uint8_t>{0x01}));
    EXPECT_EQ(Convert("-1 11\n"), (std::vector<uint8_t>{0x00, 0x00, 0x01}));
    EXPECT_EQ(Convert("fF\x80\xff"), (std::vector<uint8_t>{0xFF, 0x00}));
}
