// SPDX-License-Identifier: Apache-2.0
// The console window layer in-process: the log lines it hands on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConsoleWindow.h"
#include "LogTrim.h"
#include "QuillonDlg.h"

namespace {

TEST(ConsoleWindow, HandsOnEveryLogLineOnceAcrossClearingAndTrimming) {
    std::vector<std::string> lines;
    CConsoleWindow window([&](const std::string& line) { lines.push_back(line); }, nullptr);
    CQuillonDlg dlg(window);
    window.Attach(dlg);
    dlg.AppendLog("before clear");
    dlg.ClearLog();
    dlg.ExchangeData(false);  // the log box set whole brings no new line
    for (size_t i = 0; i < kLogLineLimit + 2 * kLogTrimChunk; ++i)
        dlg.AppendLog(std::to_string(i).c_str());
    dlg.ClearLog();
    dlg.AppendLog("last");
    std::vector<std::string> expected{"before clear"};
    for (size_t i = 0; i < kLogLineLimit + 2 * kLogTrimChunk; ++i)
        expected.push_back(std::to_string(i));
    expected.push_back("last");
    EXPECT_EQ(lines, expected);
}

TEST(ConsoleWindow, NeverClosesMidFlashOnItsOwnAndHandsOnItsBoxes) {
    std::string box;
    CConsoleWindow window(nullptr, [&](const std::string& text) { box = text; });
    EXPECT_FALSE(window.AskYesNo("Close anyway?"));
    window.ShowErrorBox("Socket creation failed!", "Socket Error");
    EXPECT_EQ(box, "Socket Error: Socket creation failed!");
}

}  // namespace
