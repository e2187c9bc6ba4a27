// SPDX-License-Identifier: Apache-2.0
// Text from a unit as a screen or a terminal shows it.
#include <gtest/gtest.h>

#include "ShownText.h"

namespace {

TEST(ShownText, EveryControlCharacterBecomesTheReplacementAndTextStays) {
    EXPECT_EQ(ShownText("Pump 7 bootloader v1.04"), "Pump 7 bootloader v1.04");
    EXPECT_EQ(ShownText(std::string("a\0b", 3)), "a\uFFFDb");
    EXPECT_EQ(ShownText("\x1b[2J\a\r\n\t\x7f"), "\uFFFD[2J\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
    // Valid UTF-8 passes, except the C1 controls it can spell (U+009B is a CSI).
    EXPECT_EQ(ShownText("Caf\u00E9 \u20AC \U0001F600"), "Caf\u00E9 \u20AC \U0001F600");
    const std::string csi = "\xC2\x9B";
    EXPECT_EQ(ShownText(csi + "31m"), "\uFFFD31m");
    // A byte that is no part of valid UTF-8 reads as Latin-1; 0x80 to 0x9F are C1 controls.
    EXPECT_EQ(ShownText("\x9B[1m \xE9"), "\uFFFD[1m \u00E9");
    EXPECT_EQ(ShownText("\xE2\x82"), "\u00E2\uFFFD");            // a sequence cut short
    EXPECT_EQ(ShownText("\xED\xA0\x80"), "\u00ED\u00A0\uFFFD");  // a surrogate is no character
}

TEST(ShownText, ManyLinesKeepTheirCrLfBreaksButNotALoneCrOrLf) {
    EXPECT_EQ(ShownLines("one\r\ntwo\rthree\nfour\r\n"), "one\r\ntwo\uFFFDthree\uFFFDfour\r\n");
    EXPECT_EQ(ShownLines(""), "");
    EXPECT_EQ(ShownLines("\r\n\r\n"), "\r\n\r\n");
    // A line the dialog appends ends at its own CR LF only.
    EXPECT_EQ(ShownLogLine("x\r\nDone.\r\n"), "x\uFFFD\uFFFDDone.\r\n");
    EXPECT_EQ(ShownLogLine("part\r"), "part\uFFFD");
}

}  // namespace
