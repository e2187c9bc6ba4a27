// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <array>
#include <string>
#include <vector>

// When a unit reached each step, in seconds since quillon-flash started (negative: never): its
// first event, the first progress event of each stage (of its last attempt), its result.
enum EPhase : int { kFirstEvent, kErasing, kProgramming, kVerifying, kResult, kPhaseCount };
using CPhaseTimes = std::array<double, kPhaseCount>;

// What quillon-flash --json said about one unit: its outcome is its result event's alone.
struct CUnitOutcome {
    int results = 0;  // result events seen; exactly one is right
    bool ok = false;
    int exit = -1;
    int attempts = 0;
    double seconds = 0;
    CPhaseTimes phases;
    CUnitOutcome() { phases.fill(-1); }
};

// One outcome per target, in the order of targets, from the JSON Lines output.
std::vector<CUnitOutcome> ReadFleetJson(const std::string& output,
                                        const std::vector<std::string>& targets);

// Each phase's median over the given times, ignoring the ones never reached.
CPhaseTimes MedianPhases(const std::vector<CPhaseTimes>& times);
std::string PhaseHeader();
std::string PhaseRow(const CPhaseTimes& times);
