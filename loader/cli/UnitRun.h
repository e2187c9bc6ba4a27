// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "FlashOptions.h"
#include "RunClock.h"
#include "UnitReport.h"

// One unit's whole run through the dialog's own operations: connect, load, flash and verify,
// again from Connect while attempts remain and the failure came after the erase began. Reports
// to report, ending with exactly one result; returns the unit's exit status.
int RunUnit(const CFlashOptions& options, const CTarget& target, const CRunClock& clock,
            IUnitReport& report);

// Connect, report the bootloader's name and version line, disconnect.
int RunInfo(const CFlashOptions& options, const CTarget& target, const CRunClock& clock,
            IUnitReport& report);
