#include "FleetJson.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

// The log lines that mark the steps; a bench may read them, quillon-flash itself never does.
struct CMark {
    EPhase phase;
    const char* line;
};
const CMark kMarks[] = {
    {kConnected, "Connected."},
    {kErasing, "Verifying & erasing firmware..."},
    {kProgramming, "Programming firmware..."},
    {kProgrammed, "Programmed successfully."},
    {kVerified, "Verification successful."},
    {kExited, "Bootloader exited, unit restarted."},
};
const char* const kPhaseNames[kPhaseCount] = {"first",      "connected", "erasing", "programming",
                                              "programmed", "verified",  "exited",  "result"};

// The raw text of a field's value: a string without its quotes (escapes kept), or a number or
// literal. Enough for the flat objects quillon-flash writes.
bool Field(const std::string& line, const char* key, std::string& value) {
    const std::string needle = std::string("\"") + key + "\":";
    const size_t at = line.find(needle);
    if (at == std::string::npos) return false;
    size_t i = at + needle.size();
    value.clear();
    if (i < line.size() && line[i] == '"') {
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) ++i;
            value += line[i];
        }
        return true;
    }
    for (; i < line.size() && line[i] != ',' && line[i] != '}'; ++i) value += line[i];
    return !value.empty();
}

double Number(const std::string& line, const char* key) {
    std::string value;
    return Field(line, key, value) ? std::strtod(value.c_str(), nullptr) : -1;
}

}  // namespace

std::vector<CUnitOutcome> ReadFleetJson(const std::string& output,
                                        const std::vector<std::string>& targets) {
    std::vector<CUnitOutcome> outcomes(targets.size());
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        std::string unit, event;
        if (!Field(line, "unit", unit) || !Field(line, "event", event)) continue;
        const auto it = std::find(targets.begin(), targets.end(), unit);
        if (it == targets.end()) continue;
        CUnitOutcome& o = outcomes[static_cast<size_t>(it - targets.begin())];
        const double time = Number(line, "time");
        if (o.phases[kFirstEvent] < 0) o.phases[kFirstEvent] = time;
        if (event == "result") {
            ++o.results;
            std::string ok;
            o.ok = Field(line, "ok", ok) && ok == "true";
            o.exit = static_cast<int>(Number(line, "exit"));
            o.attempts = static_cast<int>(Number(line, "attempts"));
            o.seconds = Number(line, "seconds");
            o.phases[kResult] = time;
        } else if (event == "log") {
            std::string text;
            Field(line, "line", text);
            for (const CMark& mark : kMarks) {
                // The last attempt's times count.
                if (text == mark.line) o.phases[mark.phase] = time;
            }
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
