// SPDX-License-Identifier: Apache-2.0
#include "FleetJson.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "JsonText.h"

namespace {

const char* const kPhaseNames[kPhaseCount] = {"first", "erasing", "programming", "verifying",
                                              "result"};

std::string Text(const CJsonFields& fields, const char* key) {
    const CJsonValue* v = FindJson(fields, key);
    return v && v->kind == CJsonValue::EKind::kString ? v->text : std::string();
}

double Number(const CJsonFields& fields, const char* key) {
    const CJsonValue* v = FindJson(fields, key);
    return v && v->kind == CJsonValue::EKind::kNumber ? v->number : -1;
}

// The phase a progress stage begins; kPhaseCount for the others.
EPhase PhaseOf(const std::string& stage) {
    if (stage == "erasing") return kErasing;
    if (stage == "programming") return kProgramming;
    if (stage == "verifying") return kVerifying;
    return kPhaseCount;
}

}  // namespace

std::vector<CUnitOutcome> ReadFleetJson(const std::string& output,
                                        const std::vector<std::string>& targets) {
    std::vector<CUnitOutcome> outcomes(targets.size());
    std::vector<std::string> lastStage(targets.size());
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        CJsonFields fields;
        if (!ParseJsonObject(line, fields)) continue;
        const auto it = std::find(targets.begin(), targets.end(), Text(fields, "unit"));
        if (it == targets.end()) continue;
        const size_t index = static_cast<size_t>(it - targets.begin());
        CUnitOutcome& o = outcomes[index];
        const std::string event = Text(fields, "event");
        const double time = Number(fields, "time");
        if (o.phases[kFirstEvent] < 0) o.phases[kFirstEvent] = time;
        if (event == "result") {
            ++o.results;
            const CJsonValue* ok = FindJson(fields, "ok");
            o.ok = ok && ok->kind == CJsonValue::EKind::kBool && ok->flag;
            o.exit = static_cast<int>(Number(fields, "exit"));
            o.attempts = static_cast<int>(Number(fields, "attempts"));
            o.seconds = Number(fields, "seconds");
            o.phases[kResult] = time;
        } else if (event == "progress") {
            // A stage's first event; a new attempt's times replace the last one's.
            const std::string stage = Text(fields, "stage");
            const EPhase phase = PhaseOf(stage);
            if (phase != kPhaseCount && stage != lastStage[index]) o.phases[phase] = time;
            lastStage[index] = stage;
        }
    }
    return outcomes;
}

CPhaseTimes MedianPhases(const std::vector<CPhaseTimes>& times) {
    CPhaseTimes median;
    for (int p = 0; p < kPhaseCount; ++p) {
        std::vector<double> values;
        for (const CPhaseTimes& t : times)
            if (t[p] >= 0) values.push_back(t[p]);
        if (values.empty()) {
            median[p] = -1;
            continue;
        }
        std::sort(values.begin(), values.end());
        const size_t mid = values.size() / 2;
        median[p] = values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
    }
    return median;
}

std::string PhaseHeader() {
    std::string text;
    for (const char* name : kPhaseNames) {
        char cell[16];
        std::snprintf(cell, sizeof cell, "%12s", name);
        text += cell;
    }
    return text;
}

std::string PhaseRow(const CPhaseTimes& times) {
    std::string text;
    for (double t : times) {
        char cell[16];
        if (t < 0)
            std::snprintf(cell, sizeof cell, "%12s", "-");
        else
            std::snprintf(cell, sizeof cell, "%12.3f", t);
        text += cell;
    }
    return text;
}
