// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>

// The longest legal record line before its line end: ':' and the digits of 255 data bytes
// plus count, offset, type and checksum.
constexpr int64_t kLongestRecordLine = 521;
constexpr int kLongestRecordBytes = (kLongestRecordLine - 1) / 2;
// Count, offset (two bytes), type and checksum.
constexpr int kRecordFrameBytes = 5;

// What makes a record line damaged, looked for in this order.
enum class ERecordFault : uint8_t {
    kNone,
    kTooLong,    // found: characters before the line end; expected: kLongestRecordLine
    kNotHex,     // found: the character; column: where it stands, ':' being column 1
    kOddDigits,  // found: the number of digits
    kShort,      // found: the bytes the line holds, fewer than kRecordFrameBytes
    kByteCount,  // found: the record's byte count; expected: the data bytes the line holds
    kChecksum,   // found: the checksum on the line; expected: the one its bytes need
};

struct SRecordFault {
    ERecordFault kind = ERecordFault::kNone;
    uint32_t found = 0;
    uint32_t expected = 0;
    uint32_t column = 0;
};

// Checks a line that starts with ':' and has length characters before its line end. Only a
// line of at most kLongestRecordLine characters is looked into, so text may hold just the first
// piece of a longer one. The digits go into bytes (room for kLongestRecordBytes); count gets
// how many, which for a sound record is what ReadRecord gives.
SRecordFault CheckRecordLine(const char* text, int64_t length, uint8_t* bytes, uint16_t& count);
