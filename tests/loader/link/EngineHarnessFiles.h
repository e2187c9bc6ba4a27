// SPDX-License-Identifier: Apache-2.0
#pragma once
// HEX text for engine tests.
#include <cstdint>
#include <string>
#include <vector>

#include "HexRecordText.h"

// records data records of perRecord bytes from 0x9D000000 upwards, then the end record.
// Sizes that do not divide 64 KiB must keep the whole file below 64 KiB.
inline std::string HexFileText(int records, int perRecord = 16, uint8_t seed = 1,
                               uint8_t fill = 0) {
    std::string text;
    uint32_t address = 0;
    for (int r = 0; r < records; ++r) {
        if ((address & 0xFFFF) == 0) {
            const uint16_t upper = static_cast<uint16_t>(0x1D00 + (address >> 16));
            text +=
                HexRecord(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
        }
        std::vector<uint8_t> data(perRecord);
        for (int i = 0; i < perRecord; ++i)
            data[i] = fill ? fill : static_cast<uint8_t>(seed * 31 + r * 7 + i);
        text += HexRecord(0, static_cast<uint16_t>(address & 0xFFFF), data);
        address += perRecord;
    }
    return text + ":00000001FF\n";
}
