// SPDX-License-Identifier: Apache-2.0
#include "RecordCheck.h"

#include "HexDigits.h"

namespace {
SRecordFault Fault(ERecordFault kind, uint32_t found, uint32_t expected = 0, uint32_t column = 0) {
    return SRecordFault{kind, found, expected, column};
}

SRecordFault NotHexAt(const unsigned char* digits, int at) {
    // The ':' is column 1, the first digit column 2.
    return Fault(ERecordFault::kNotHex, digits[at], 0, static_cast<uint32_t>(at + 2));
}
}  // namespace

SRecordFault CheckRecordLine(const char* text, int64_t length, uint8_t* bytes, uint16_t& count) {
    count = 0;
    if (length > kLongestRecordLine) {
        const uint32_t shown = length > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(length);
        return Fault(ERecordFault::kTooLong, shown, kLongestRecordLine);
    }
    const auto* digits = reinterpret_cast<const unsigned char*>(text) + 1;
    const int total = length > 0 ? static_cast<int>(length) - 1 : 0;
    // Counted locally: a store through bytes could alias count and slow every pair.
    int converted = 0;
    unsigned sum = 0;
    unsigned seen = 0;
    for (; converted * 2 + 1 < total; ++converted) {
        const uint8_t high = kHexDigit[digits[converted * 2]];
        const uint8_t low = kHexDigit[digits[converted * 2 + 1]];
        seen |= high | low;
        const auto value = static_cast<uint8_t>(high << 4 | low);
        bytes[converted] = value;
        sum += value;
    }
    // kNotHex is the only entry with high bits set; the slow search runs only for a bad line.
    if ((seen & 0xF0) != 0 || (total % 2 != 0 && kHexDigit[digits[total - 1]] == kNotHex)) {
        int at = 0;
        while (kHexDigit[digits[at]] != kNotHex) ++at;
        return NotHexAt(digits, at);
    }
    if (total % 2 != 0) return Fault(ERecordFault::kOddDigits, static_cast<uint32_t>(total));
    count = static_cast<uint16_t>(converted);
    if (converted < kRecordFrameBytes)
        return Fault(ERecordFault::kShort, static_cast<uint32_t>(converted));
    const auto dataBytes = static_cast<uint32_t>(converted - kRecordFrameBytes);
    if (bytes[0] != dataBytes) return Fault(ERecordFault::kByteCount, bytes[0], dataBytes);
    // The bytes of a sound record, checksum included, sum to 0 modulo 256.
    if ((sum & 0xFF) != 0) {
        const uint8_t onLine = bytes[converted - 1];
        return Fault(ERecordFault::kChecksum, onLine, static_cast<uint8_t>(onLine - sum));
    }
    return {};
}
