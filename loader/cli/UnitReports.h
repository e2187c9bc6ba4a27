// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>

#include "Output.h"
#include "UnitReport.h"

// One unit as quillon-flash has always printed it: the log lines on stdout; the reason for a
// failure on stderr; a progress bar and the summary line on stderr while that is a terminal.
class CPlainReport : public IUnitReport {
  public:
    CPlainReport(bool quiet, bool terminal) : m_quiet(quiet), m_terminal(terminal && !quiet) {}
    ~CPlainReport() override { FinishProgress(); }

    void Log(double time, const std::string& line) override;
    void Progress(double time, EStage stage, uint32_t done, uint32_t total) override;
    void Result(double time, const CUnitResult& result) override;

  private:
    void FinishProgress();

    bool m_quiet;
    bool m_terminal;
    bool m_progressDrawn = false;
};

// One unit's events as JSON Lines on stdout, each written whole with one write(). A result
// that stdout no longer takes (the reader, or the parent, is gone) goes to stderr as a line.
class CJsonReport : public IUnitReport {
  public:
    explicit CJsonReport(std::string unit) : m_unit(std::move(unit)) {}

    void Log(double time, const std::string& line) override;
    void Progress(double time, EStage stage, uint32_t done, uint32_t total) override;
    void Result(double time, const CUnitResult& result) override;

  private:
    std::string m_unit;
};

// The result event of a unit, without a line break.
std::string ResultJson(const std::string& unit, double time, const CUnitResult& result);
