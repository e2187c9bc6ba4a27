// SPDX-License-Identifier: Apache-2.0
#include "UnitReports.h"

#include <unistd.h>

#include <cstdio>

#include "JsonText.h"
#include "ShownText.h"

void CPlainReport::Log(double time, const std::string& line) {
    (void)time;
    if (m_quiet) return;
    FinishProgress();
    WriteAll(STDOUT_FILENO, ShownText(line) + "\n");
}

void CPlainReport::Progress(double time, EStage stage, uint32_t done, uint32_t total) {
    (void)time;
    if (!m_terminal || stage != EStage::kProgramming) return;
    constexpr int kWidth = 40;
    const uint64_t shown = done > total ? total : done;
    const int filled = total ? static_cast<int>(shown * kWidth / total) : 0;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    const unsigned percent = total ? static_cast<unsigned>(shown * 100 / total) : 0;
    char text[128];
    std::snprintf(text, sizeof text, "\r[%s] %s/%s bytes %u%%", bar, GroupedNumber(shown).c_str(),
                  GroupedNumber(total).c_str(), percent);
    m_progressDrawn = WriteAll(STDERR_FILENO, text);
}

void CPlainReport::Result(double time, const CUnitResult& result) {
    (void)time;
    FinishProgress();
    if (!result.ok) {
        SayOnStderr(ShownText(result.message));
    } else if (m_terminal && result.total > 0) {
        // On stderr, so that what scripts read on stdout stays the dialog's log alone.
        WriteAll(STDERR_FILENO, SummaryLine(result) + "\n");
    }
}

void CPlainReport::FinishProgress() {
    if (!m_progressDrawn) return;
    WriteAll(STDERR_FILENO, "\r\033[K");
    m_progressDrawn = false;
}

void CJsonReport::Log(double time, const std::string& line) {
    CJsonObject o;
    o.Add("unit", m_unit).Add("event", "log").Add("time", time).Add("line", line);
    WriteAll(STDOUT_FILENO, o.Text() + "\n");
}

void CJsonReport::Progress(double time, EStage stage, uint32_t done, uint32_t total) {
    CJsonObject o;
    o.Add("unit", m_unit).Add("event", "progress").Add("time", time);
    o.Add("stage", StageName(stage)).Add("done", done).Add("total", total);
    WriteAll(STDOUT_FILENO, o.Text() + "\n");
}

void CJsonReport::Result(double time, const CUnitResult& result) {
    if (WriteAll(STDOUT_FILENO, ResultJson(m_unit, time, result) + "\n")) return;
    // Whatever else was lost, the unit's state is said somewhere.
    SayOnStderr(m_unit + ": " + result.message);
}

std::string ResultJson(const std::string& unit, double time, const CUnitResult& result) {
    CJsonObject o;
    o.Add("unit", unit).Add("event", "result").Add("time", time);
    o.AddBool("ok", result.ok).Add("exit", result.exit).Add("message", result.message);
    o.Add("bytes", result.bytes).Add("total", result.total).Add("seconds", result.seconds);
    o.Add("attempts", result.attempts);
    if (!result.version.empty()) o.Add("version", result.version);
    return o.Text();
}
