// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>
#include <vector>

#include "FlashOptions.h"
#include "JsonText.h"
#include "UnitReport.h"

// How a quillon-flash of many units shows them. Log and progress events arrive as the units'
// JSON lines; each unit's result as the result itself.
class IFleetView {
  public:
    virtual ~IFleetView() = default;
    // A log or progress event of unit `index`: the line as the unit wrote it, and its fields.
    virtual void OnEvent(size_t index, const std::string& line, const CJsonFields& fields) = 0;
    // The one result of unit `index` at time; line is the unit's own result event, empty for
    // a result the parent made (the unit's process said none).
    virtual void OnResult(size_t index, double time, const CUnitResult& result,
                          const std::string& line) = 0;
    // Called about ten times a second, for views that redraw.
    virtual void OnTick(double now) { (void)now; }
    // After every unit's result.
    virtual void Finish(const std::vector<CUnitResult>& results) { (void)results; }
};

// --json: every unit's events as they come, one whole line each.
class CJsonFleetView : public IFleetView {
  public:
    explicit CJsonFleetView(const std::vector<CTarget>& targets) : m_targets(targets) {}
    void OnEvent(size_t index, const std::string& line, const CJsonFields& fields) override;
    void OnResult(size_t index, double time, const CUnitResult& result,
                  const std::string& line) override;

  private:
    const std::vector<CTarget>& m_targets;
};

// No terminal: each log line with its unit's target in front, and each result's summary.
class CPrefixFleetView : public IFleetView {
  public:
    CPrefixFleetView(const std::vector<CTarget>& targets, bool quiet)
        : m_targets(targets), m_quiet(quiet) {}
    void OnEvent(size_t index, const std::string& line, const CJsonFields& fields) override;
    void OnResult(size_t index, double time, const CUnitResult& result,
                  const std::string& line) override;

  private:
    const std::vector<CTarget>& m_targets;
    bool m_quiet;
};

// A terminal: one live line per unit, then a summary table.
class CBoardFleetView : public IFleetView {
  public:
    explicit CBoardFleetView(const std::vector<CTarget>& targets);
    void OnEvent(size_t index, const std::string& line, const CJsonFields& fields) override;
    void OnResult(size_t index, double time, const CUnitResult& result,
                  const std::string& line) override;
    void OnTick(double now) override;
    void Finish(const std::vector<CUnitResult>& results) override;

    // The live line of one unit at time now, and the summary table; no terminal codes.
    std::string LiveLine(size_t index, double now) const;
    static std::string SummaryTable(const std::vector<CTarget>& targets,
                                    const std::vector<CUnitResult>& results);

  private:
    struct CUnitLine {
        std::string stage = "waiting";
        uint32_t done = 0, total = 0;
        double started = -1, ended = -1;
    };
    void Draw(double now);

    const std::vector<CTarget>& m_targets;
    std::vector<CUnitLine> m_lines;
    size_t m_width = 0;  // of the widest target
    bool m_drawn = false;
};

// The result a unit's result event carried.
CUnitResult ResultFromJson(const CJsonFields& fields);
// The stage a progress event names; kFailed for a name it does not know.
EStage StageFromName(const std::string& name);
