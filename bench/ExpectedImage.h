// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What a unit's flash must hold after a good flash of a HEX file, worked out apart from the
// loader's own parser, so that a loader which misreads the file cannot also set the mark it is
// measured against.
struct CExpectedImage {
    uint32_t start = 0;  // the verification range, word-aligned as the loader sends it
    uint32_t length = 0;
    uint16_t crc = 0;
    uint32_t dataRecords = 0;    // type 0 records in the file
    std::vector<uint8_t> bytes;  // the range as the unit's flash must hold it
};

// False with the reason when the file is not Intel HEX or holds nothing for the flash window.
bool ComputeExpectedImage(const std::string& path, CExpectedImage& expected, std::string& error);
