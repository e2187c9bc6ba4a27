// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>

#include "HexFile.h"
#include "RecordCheck.h"

// What makes a firmware file unfit to program, found before anything is erased.
enum class EFirmwareProblem { kNone, kNoFile, kNoRecord, kStrayLine, kDamagedRecord, kNoData };

struct SFirmwareCheck {
    EFirmwareProblem problem = EFirmwareProblem::kNone;
    // The 1-based number of the offending line for kStrayLine and kDamagedRecord, else 0.
    int32_t line = 0;
    // What is wrong with that line, for kDamagedRecord.
    SRecordFault record;
    // For kNone: the range and CRC-16 a verify would carry, as ComputeImageCrc gives them for
    // this file, and the number of records.
    uint32_t start = 0;
    uint32_t length = 0;
    uint16_t crc = 0;
    int32_t records = 0;
};

// Reads the open file once from its start, building the image as it goes: a first line that
// is a record, every record sound (RecordCheck.h), no line that is not a record before a later
// record (a trailing blank line after the last record is fine), and data inside the image
// window. Lines are counted whole, however long. Leaves the stream rewound with lines read at 0.
SFirmwareCheck CheckFirmware(CHexFile& file);
