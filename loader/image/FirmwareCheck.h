#pragma once
#include <cstdint>

#include "HexFile.h"

// What makes a firmware file unfit to program, found before anything is erased.
enum class EFirmwareProblem { kNone, kNoFile, kNoRecord, kStrayLine, kNoData };

// Reads the open file from its start: a first line that is a record, no line that is not a
// record before a later record (a trailing blank line after the last record is fine), and
// data inside the image window. line gets the 1-based number of the offending line for
// kStrayLine (else 0). Leaves the stream rewound with lines read at 0.
EFirmwareProblem CheckFirmware(CHexFile& file, int32_t& line);
