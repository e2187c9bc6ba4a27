// SPDX-License-Identifier: Apache-2.0
// The announce's acceptance and split, and the small text helpers the list relies on.
#include <gtest/gtest.h>

#include <string>

#include "core/AnnounceParser.h"
#include "core/DisplayText.h"
#include "core/DottedQuad.h"
#include "core/ErrorReport.h"
#include "core/MacMatch.h"

namespace {

// name CR LF mac CR LF message, padded in the message to the wanted total length.
std::string Announce(std::size_t total, std::string name = "Unit",
                     std::string mac = "00-04-A3-00-00-01") {
    std::string text = name + "\r\n" + mac + "\r\n";
    text.append(total > text.size() ? total - text.size() : 0, 'm');
    return text;
}

TEST(AnnounceAcceptance, NeedsThirtyTwoCharactersAndThreePieces) {
    CAnnounceFields fields;
    EXPECT_FALSE(SplitAnnounce(Announce(31), &fields));
    const std::string accepted = Announce(32);  // the fields view into it
    ASSERT_TRUE(SplitAnnounce(accepted, &fields));
    EXPECT_EQ(fields.name, "Unit");
    EXPECT_EQ(fields.mac, "00-04-A3-00-00-01");
    EXPECT_EQ(fields.message, std::string(32 - 25, 'm'));

    EXPECT_FALSE(SplitAnnounce("Unit\r\n" + std::string(34, 'x'), &fields)) << "one CR LF only";
    EXPECT_FALSE(SplitAnnounce("Unit\n00-04-A3-00-00-01\nmessage text here", &fields))
        << "LF alone does not separate";
    EXPECT_FALSE(SplitAnnounce("Unit\r00-04-A3-00-00-01\rmessage text here!!", &fields))
        << "CR alone does not separate";
    EXPECT_FALSE(SplitAnnounce(std::string(), &fields));
}

TEST(AnnounceAcceptance, FieldsAreTakenAsTheyStand) {
    CAnnounceFields fields;
    // Ends with the second CR LF: an empty message.
    ASSERT_TRUE(SplitAnnounce("Tolvane Unit\r\n00-04-A3-12-34-56\r\n", &fields));
    EXPECT_EQ(fields.name, "Tolvane Unit");
    EXPECT_EQ(fields.mac, "00-04-A3-12-34-56");
    EXPECT_TRUE(fields.message.empty());

    // Fourth and later lines are ignored; blanks and lone CR / LF stay in the fields.
    ASSERT_TRUE(SplitAnnounce(" a\rb \r\n mac\n \r\nhello\r\nfourth\r\nfifth", &fields));
    EXPECT_EQ(fields.name, " a\rb ");
    EXPECT_EQ(fields.mac, " mac\n ");
    EXPECT_EQ(fields.message, "hello");

    // Empty name and MAC are allowed; a NUL is an ordinary byte.
    const std::string nul("\r\n\r\nmsg\0with a NUL inside it......", 35);
    ASSERT_TRUE(SplitAnnounce(nul, &fields));
    EXPECT_TRUE(fields.name.empty());
    EXPECT_TRUE(fields.mac.empty());
    EXPECT_EQ(fields.message.size(), nul.size() - 4);

    // CR CR LF: the first CR belongs to the field.
    const std::string crcrlf = "name\r\r\nmac\r\n" + std::string(30, 'z');
    ASSERT_TRUE(SplitAnnounce(crcrlf, &fields));
    EXPECT_EQ(fields.name, "name\r");
}

TEST(DottedQuad, FormatsEveryOctetWidth) {
    char text[kDottedQuadSize];
    EXPECT_EQ(FormatDottedQuad(0x7F000001, text), 9);
    EXPECT_STREQ(text, "127.0.0.1");
    FormatDottedQuad(0xFFFFFFFF, text);
    EXPECT_STREQ(text, "255.255.255.255");
    FormatDottedQuad(0x0A630C00, text);
    EXPECT_STREQ(text, "10.99.12.0");
    FormatDottedQuad(0, text);
    EXPECT_STREQ(text, "0.0.0.0");
}

TEST(DisplayText, EveryByteBecomesOneVisibleCharacter) {
    EXPECT_EQ(DisplayCodePoint('A'), U'A');
    EXPECT_EQ(DisplayCodePoint('\r'), U'\uFFFD');
    EXPECT_EQ(DisplayCodePoint('\n'), U'\uFFFD');
    EXPECT_EQ(DisplayCodePoint('\t'), U'\uFFFD');
    EXPECT_EQ(DisplayCodePoint(0), U'\uFFFD');
    EXPECT_EQ(DisplayCodePoint(0x7F), U'\uFFFD');
    EXPECT_EQ(DisplayCodePoint(0x9F), U'\u0178');
    EXPECT_EQ(DisplayCodePoint(0x80), U'\u20AC');
    EXPECT_EQ(DisplayCodePoint(0x81), U'\uFFFD');
    EXPECT_EQ(DisplayCodePoint(0xE9), U'\u00E9');
    for (int byte = 0; byte < 256; ++byte) {
        const char32_t shown = DisplayCodePoint(static_cast<unsigned char>(byte));
        EXPECT_GE(shown, U' ') << byte;
        EXPECT_TRUE(shown < 0x80 || shown >= 0xA0) << "no C1 control for " << byte;
        EXPECT_LT(shown, 0x10000u) << byte;
    }
}

TEST(DisplayText, MacComparisonIgnoresAsciiCaseOnly) {
    EXPECT_TRUE(EqualIgnoringAsciiCase("00-04-a3-ab-cd-ef", "00-04-A3-AB-CD-EF"));
    EXPECT_FALSE(EqualIgnoringAsciiCase("00-04-A3", "00-04-A3-"));
    EXPECT_FALSE(EqualIgnoringAsciiCase("\xE9", "\xC9")) << "no locale-dependent folding";
    EXPECT_TRUE(EqualIgnoringAsciiCase("", ""));
}

TEST(ErrorReport, TextNamesNumberDescriptionProcedureAndStep) {
    EXPECT_EQ(FormatErrorReport(98, "Address already in use", "Form_Load", 40),
              "Error 98 (Address already in use) in procedure Form_Load of Form frmMain on line "
              "40");
    EXPECT_EQ(FormatErrorReport(35600, "Row index out of range", "tmrTimeout_Timer", 100),
              "Error 35600 (Row index out of range) in procedure tmrTimeout_Timer of Form frmMain "
              "on line 100");
}

TEST(MacMatch, HexDigitsMatchWhateverTheCaseAndSeparators) {
    const std::string_view mac = "00-04-A3-12-34-56";
    for (const char* pattern : {"00:04:A3:12", "00-04-a3-12", "0004a312", "00.04.A3.12", "0:0:04",
                                "", "-", "00-04-A3-12-34-56", "00:04:a3:12:34:56"}) {
        EXPECT_TRUE(MacMatches(mac, pattern, EMacMatch::kStartsWith)) << pattern;
        EXPECT_TRUE(MacMatches(mac, pattern, EMacMatch::kContains)) << pattern;
    }
    for (const char* pattern : {"a3:12", "A312", "3-4", "56", "6", ".4.5.6"}) {
        EXPECT_FALSE(MacMatches(mac, pattern, EMacMatch::kStartsWith)) << pattern;
        EXPECT_TRUE(MacMatches(mac, pattern, EMacMatch::kContains)) << pattern;
    }
    for (const char* pattern : {"00:04:A3:13", "0004a3123456ff", "65", "a3_12", "x"}) {
        EXPECT_FALSE(MacMatches(mac, pattern, EMacMatch::kContains)) << pattern;
    }
    EXPECT_TRUE(MacMatches("0004.A312.3456", "00:04:a3:12", EMacMatch::kStartsWith));
    EXPECT_FALSE(MacMatches("", "0", EMacMatch::kContains));
    EXPECT_FALSE(MacMatches("--::", "0", EMacMatch::kContains)) << "separators are no digits";
    EXPECT_TRUE(MacMatches(std::string_view("\0\x80-ab", 5), "AB", EMacMatch::kContains))
        << "other bytes are compared as they are";
}

}  // namespace
