// SPDX-License-Identifier: Apache-2.0
#include "FleetView.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "ShownText.h"
#include "UnitReports.h"

namespace {

std::string StringField(const CJsonFields& fields, const char* key) {
    const CJsonValue* v = FindJson(fields, key);
    return v && v->kind == CJsonValue::EKind::kString ? v->text : std::string();
}

double NumberField(const CJsonFields& fields, const char* key) {
    const CJsonValue* v = FindJson(fields, key);
    return v && v->kind == CJsonValue::EKind::kNumber ? v->number : 0.0;
}

uint32_t CountField(const CJsonFields& fields, const char* key) {
    const double n = NumberField(fields, key);
    return n > 0 && n < 4294967296.0 ? static_cast<uint32_t>(n) : 0;
}

std::string Padded(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

}  // namespace

CUnitResult ResultFromJson(const CJsonFields& fields) {
    CUnitResult r;
    const CJsonValue* ok = FindJson(fields, "ok");
    r.ok = ok && ok->kind == CJsonValue::EKind::kBool && ok->flag;
    r.exit = static_cast<int>(NumberField(fields, "exit"));
    r.message = StringField(fields, "message");
    r.bytes = CountField(fields, "bytes");
    r.total = CountField(fields, "total");
    r.seconds = NumberField(fields, "seconds");
    r.version = StringField(fields, "version");
    r.attempts = static_cast<int>(NumberField(fields, "attempts"));
    return r;
}

EStage StageFromName(const std::string& name) {
    for (const EStage stage : {EStage::kConnecting, EStage::kResetting, EStage::kErasing,
                               EStage::kProgramming, EStage::kVerifying, EStage::kDone})
        if (name == StageName(stage)) return stage;
    return EStage::kFailed;
}

void CJsonFleetView::OnEvent(size_t index, const std::string& line, const CJsonFields& fields) {
    (void)index;
    (void)fields;
    WriteAll(STDOUT_FILENO, line + "\n");
}

void CJsonFleetView::OnResult(size_t index, double time, const CUnitResult& result,
                              const std::string& line) {
    WriteAll(STDOUT_FILENO,
             (line.empty() ? ResultJson(m_targets[index].text, time, result) : line) + "\n");
}

void CPrefixFleetView::OnEvent(size_t index, const std::string& line, const CJsonFields& fields) {
    (void)line;
    const std::string& target = m_targets[index].text;
    const std::string event = StringField(fields, "event");
    if (event == "log" && !m_quiet)
        WriteAll(STDOUT_FILENO, target + ": " + ShownText(StringField(fields, "line")) + "\n");
}

void CPrefixFleetView::OnResult(size_t index, double time, const CUnitResult& result,
                                const std::string& line) {
    (void)time;
    (void)line;
    const std::string& target = m_targets[index].text;
    if (!result.ok)
        SayOnStderr(target + ": " + ShownText(result.message));
    else if (!m_quiet)
        WriteAll(STDOUT_FILENO, target + ": " + ShownText(SummaryLine(result)) + "\n");
}

CBoardFleetView::CBoardFleetView(const std::vector<CTarget>& targets)
    : m_targets(targets), m_lines(targets.size()) {
    for (const CTarget& t : targets) m_width = std::max(m_width, t.text.size());
}

void CBoardFleetView::OnEvent(size_t index, const std::string& line, const CJsonFields& fields) {
    (void)line;
    CUnitLine& u = m_lines[index];
    const double time = NumberField(fields, "time");
    if (u.started < 0) {
        u.started = time;
        u.stage = "connecting";
    }
    if (StringField(fields, "event") == "progress") {
        u.stage = ShownText(StringField(fields, "stage"));
        u.done = CountField(fields, "done");
        u.total = CountField(fields, "total");
    }
}

void CBoardFleetView::OnResult(size_t index, double time, const CUnitResult& result,
                               const std::string& line) {
    (void)line;
    CUnitLine& u = m_lines[index];
    if (u.started < 0) u.started = time;
    u.stage = result.ok ? "done" : "failed";
    u.ended = time;
}

std::string CBoardFleetView::LiveLine(size_t index, double now) const {
    const CUnitLine& u = m_lines[index];
    constexpr int kBar = 20;
    const uint64_t shown = std::min(u.done, u.total);
    const unsigned percent = u.total ? static_cast<unsigned>(shown * 100 / u.total) : 0;
    const int filled = u.total ? static_cast<int>(shown * kBar / u.total) : 0;
    std::string bar(kBar, '.');
    std::fill(bar.begin(), bar.begin() + filled, '#');
    const double elapsed = u.started < 0 ? 0 : (u.ended >= 0 ? u.ended : now) - u.started;
    char tail[64];
    std::snprintf(tail, sizeof tail, " [%s] %3u%% %6.1f s", bar.c_str(), percent, elapsed);
    return Padded(m_targets[index].text, m_width) + "  " + Padded(u.stage, 11) + tail;
}

void CBoardFleetView::Draw(double now) {
    std::string frame;
    // Back to the first live line, then each line rewritten in place.
    if (m_drawn) frame += "\033[" + std::to_string(m_lines.size()) + "A";
    for (size_t i = 0; i < m_lines.size(); ++i) frame += "\r" + LiveLine(i, now) + "\033[K\n";
    WriteAll(STDOUT_FILENO, frame);
    m_drawn = true;
}

void CBoardFleetView::OnTick(double now) {
    Draw(now);
}

std::string CBoardFleetView::SummaryTable(const std::vector<CTarget>& targets,
                                          const std::vector<CUnitResult>& results) {
    const auto outcomeOf = [](const CUnitResult& r) {
        return r.ok ? std::string("verified") : ShownText(r.message);
    };
    size_t width = 6, outcomes = 7;
    for (const CTarget& t : targets) width = std::max(width, t.text.size());
    for (const CUnitResult& r : results) outcomes = std::max(outcomes, outcomeOf(r).size());
    std::string table = Padded("TARGET", width) + "  " + Padded("OUTCOME", outcomes) +
                        "        BYTES  SECONDS  EXIT\n";
    for (size_t i = 0; i < targets.size(); ++i) {
        const CUnitResult& r = results[i];
        char numbers[64];
        std::snprintf(numbers, sizeof numbers, "  %11s %8.1f %5d\n", GroupedNumber(r.bytes).c_str(),
                      r.seconds, r.exit);
        table += Padded(targets[i].text, width) + "  " + Padded(outcomeOf(r), outcomes) + numbers;
    }
    return table;
}

void CBoardFleetView::Finish(const std::vector<CUnitResult>& results) {
    // The last state of every line, then the table under it.
    double last = 0;
    for (const CUnitLine& u : m_lines) last = std::max(last, u.ended);
    Draw(last);
    WriteAll(STDOUT_FILENO, "\n" + SummaryTable(m_targets, results));
}
