// The console window layer in-process: what reaches stdout.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "ConsoleWindow.h"
#include "LogTrim.h"
#include "QuillonDlg.h"

namespace {

// Everything written to stdout while `run` runs.
template <typename F>
std::string CaptureStdout(F run) {
    std::fflush(stdout);
    FILE* sink = std::tmpfile();
    EXPECT_NE(sink, nullptr);
    const int saved = ::dup(1);
    ::dup2(::fileno(sink), 1);
    run();
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    std::string out;
    std::rewind(sink);
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, sink)) > 0;) out.append(buf, n);
    std::fclose(sink);
    return out;
}

TEST(ConsoleWindow, PrintsEveryLogLineOnceAcrossClearingAndTrimming) {
    CConsoleWindow window(false, false);
    CQuillonDlg dlg(window);
    const std::string out = CaptureStdout([&] {
        window.Attach(dlg);
        dlg.AppendLog("before clear");
        dlg.ClearLog();
        dlg.ExchangeData(false);  // the log box set whole brings no new line
        for (size_t i = 0; i < kLogLineLimit + 2 * kLogTrimChunk; ++i)
            dlg.AppendLog(std::to_string(i).c_str());
        dlg.ClearLog();
        dlg.AppendLog("last");
    });
    std::string expected = "before clear\n";
    for (size_t i = 0; i < kLogLineLimit + 2 * kLogTrimChunk; ++i)
        expected += std::to_string(i) + "\n";
    expected += "last\n";
    EXPECT_EQ(out, expected);
}

TEST(ConsoleWindow, NeverClosesMidFlashOnItsOwn) {
    CConsoleWindow window(true, false);
    EXPECT_FALSE(window.AskYesNo("Close anyway?"));
}

}  // namespace
