// SPDX-License-Identifier: Apache-2.0
#pragma once
// quillon-flash --record: one row per unit in the flash record, written where each unit's
// result is final. Built into quillon-flash only: the rest of loader/cli stays free of Qt.
#include <memory>
#include <string>

#include "FlashOptions.h"
#include "Fleet.h"

class CHandRecord;

// One unit's report passed on whole, its result also handed to the hook (the single-target run).
class CResultTee : public IUnitReport {
  public:
    CResultTee(IUnitReport& inner, const CTarget& target, const FUnitResultHook& onResult)
        : m_inner(inner), m_target(target), m_onResult(onResult) {}
    void Log(double time, const std::string& line) override { m_inner.Log(time, line); }
    void Progress(double time, EStage stage, uint32_t done, uint32_t total) override {
        m_inner.Progress(time, stage, done, total);
    }
    void Result(double time, const CUnitResult& result) override {
        m_inner.Result(time, result);
        if (m_onResult) m_onResult(m_target, result);
    }

  private:
    IUnitReport& m_inner;
    const CTarget& m_target;
    const FUnitResultHook& m_onResult;
};

class CFlashRecording {
  public:
    CFlashRecording();
    ~CFlashRecording();
    CFlashRecording(const CFlashRecording&) = delete;
    CFlashRecording& operator=(const CFlashRecording&) = delete;

    // Opens the record and reads the firmware's identity, before any unit is woken. False:
    // error says why, and nothing may be flashed.
    bool Open(const CFlashOptions& options, std::string& error);
    // Writes the unit's row; a row that can't be written is said on stderr and remembered.
    void Record(const CTarget& target, const CUnitResult& result);
    FUnitResultHook Hook();
    // The command's exit status: the flash's, except that a lost row never leaves it at 0.
    int Status(int flashStatus) const;

  private:
    std::unique_ptr<CHandRecord> m_record;
    uint16_t m_defaultPort = 69;
    bool m_lost = false;
};
