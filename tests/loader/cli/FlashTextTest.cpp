// SPDX-License-Identifier: Apache-2.0
// Every message quillon-flash writes is in its manual page, placeholders as the page names them.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "FlashText.h"

namespace {

// The page's words without its markup (*bold*, _italic_) and with every run of blanks one space.
std::string ManualText() {
    std::ifstream in(QUILLON_FLASH_MAN);
    std::string text;
    bool blank = false;
    for (char c; in.get(c);) {
        if (c == '*' || c == '_') continue;
        const bool space = c == ' ' || c == '\t' || c == '\n';
        if (space && blank) continue;
        blank = space;
        text += space ? ' ' : c;
    }
    return text;
}

// Numbers the page names N and M are given as these, then put back as the names.
constexpr int kN = 900001, kM = 900002;
std::string Named(std::string text) {
    for (const auto& [number, name] : {std::pair{kN, "N"}, std::pair{kM, "M"}}) {
        const std::string digits = std::to_string(number);
        for (size_t at = text.find(digits); at != std::string::npos; at = text.find(digits))
            text.replace(at, digits.size(), name);
    }
    return text;
}

TEST(FlashText, EveryMessageIsInTheManualPage) {
    using namespace FlashText;
    const std::string manual = ManualText();
    ASSERT_GT(manual.size(), 1000u) << QUILLON_FLASH_MAN;
    std::vector<std::string> messages = {kPortNeedsNumber,
                                         kJobsNeedsNumber,
                                         kAttemptsNeedsNumber,
                                         kProgramTriesNeedsNumber,
                                         kInfoExcludesImageInfo,
                                         kImageInfoArguments,
                                         kInfoArguments,
                                         kResetNeedsFirmware,
                                         kTargetsAndFirmwareNeeded,
                                         kRecordNotForInfo,
                                         kMacNeedsRecord,
                                         kMacNeedsOneTarget,
                                         OptionNeedsValue("OPT"),
                                         UnknownOption("OPT"),
                                         NotATarget("TEXT"),
                                         CannotReadTargets("FILE", "REASON"),
                                         NoTargetIn("FILE"),
                                         TargetsLineNotATarget("FILE", kN, "TEXT"),
                                         TargetsLineTooLong("FILE", kN),
                                         TooManyTargets("FILE", kN),
                                         TooManyTargetLines("FILE", kN),
                                         ListedTwice("UNIT", "PLACE", "PLACE"),
                                         CannotWriteTrace("FILE", "REASON"),
                                         TraceWriteFailed("FILE", "REASON"),
                                         OutputLost("REASON"),
                                         CannotOpenRecord("REASON"),
                                         RecordNotWritten("TARGET", "REASON"),
                                         CannotOpenFirmware("FILE"),
                                         FirmwareNotRegular("FILE"),
                                         FirmwareRefused("FILE", "LINE"),
                                         SocketError("Socket Error: Socket creation failed!"),
                                         CannotSend("ADDRESS", kN, "REASON"),
                                         NoResponseFrom("TARGET [port N]"),
                                         NoResponseWhile("TARGET [port N]", "STEP"),
                                         NoWordWhile("STEP"),
                                         kNoOutcome,
                                         CannotReadFirmware("FILE"),
                                         ResetRefused("1.04"),
                                         VerifyFailed("FILE"),
                                         ChangedWhileFlashing("FILE"),
                                         NotProgrammed("FILE"),
                                         AttemptFailed(kN, kM, "REASON"),
                                         kInterruptedBeforeFlashing,
                                         kNotStarted,
                                         EndedBySignal(kN),
                                         EndedWithStatus(kN),
                                         KilledAfterInterrupt(),
                                         InState(EndedBySignal(SIGKILL), EStage::kProgramming)};
    for (const EStage stage : {EStage::kConnecting, EStage::kResetting, EStage::kErasing,
                               EStage::kProgramming, EStage::kVerifying, EStage::kFailed})
        messages.push_back(Interrupted(stage));
    for (const std::string& message : messages)
        EXPECT_NE(manual.find(Named(message)), std::string::npos) << Named(message);
}

}  // namespace
