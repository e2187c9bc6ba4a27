// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <functional>

#include "FlashOptions.h"
#include "RunClock.h"
#include "UnitReport.h"

// Called in this process once per unit, when its result is final (quillon-flash --record).
using FUnitResultHook = std::function<void(const CTarget& target, const CUnitResult& result)>;

// Flashes every target in a quillon-flash process of its own (this program, started again as
// a unit), at most --jobs at once, and shows them as the output asks: JSON Lines, a live board
// on a terminal, or prefixed log lines. Returns the command's exit status: 0 when every unit
// verified, else that of the first target, in the order given, that failed.
int RunFleet(const CFlashOptions& options, const CRunClock& clock,
             const FUnitResultHook& onResult = {});
