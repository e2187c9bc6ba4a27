// SPDX-License-Identifier: Apache-2.0
#include "ExpectedImage.h"

#include <algorithm>
#include <fstream>

#include "Crc16.h"
#include "FlashModel.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool ComputeExpectedImage(const std::string& path, CExpectedImage& expected, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::vector<uint8_t> window(kFlashSize, 0xFF);
    uint64_t lowest = UINT64_MAX, end = 0;
    uint32_t linearBase = 0, segmentBase = 0;
    std::string line;
    int lineNumber = 0;
    expected.dataRecords = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line[0] != ':' || line.size() < 11 || line.size() % 2 == 0) {
            error = path + ": line " + std::to_string(lineNumber) + " is not a record";
            return false;
        }
        std::vector<uint8_t> bytes;
        uint8_t sum = 0;
        for (size_t i = 1; i + 1 < line.size(); i += 2) {
            const int hi = HexDigit(line[i]), lo = HexDigit(line[i + 1]);
            if (hi < 0 || lo < 0) {
                error = path + ": line " + std::to_string(lineNumber) + " has a non-hex digit";
                return false;
            }
            bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
            sum = static_cast<uint8_t>(sum + bytes.back());
        }
        const uint8_t count = bytes[0];
        if (sum != 0 || bytes.size() != 5u + count) {
            error = path + ": line " + std::to_string(lineNumber) + " is damaged";
            return false;
        }
        const uint16_t offset = static_cast<uint16_t>(bytes[1] << 8 | bytes[2]);
        const uint8_t type = bytes[3];
        const uint8_t* data = bytes.data() + 4;
        if (type == 1) break;
        if (type == 4 && count == 2) {
            linearBase = static_cast<uint32_t>(data[0] << 8 | data[1]) << 16;
            segmentBase = 0;
        } else if (type == 2 && count == 2) {
            segmentBase = static_cast<uint32_t>(data[0] << 8 | data[1]) << 8;
            linearBase = 0;
        } else if (type == 0) {
            ++expected.dataRecords;
            const uint32_t address = (linearBase + segmentBase + offset) | 0x80000000u;
            for (uint32_t i = 0; i < count; ++i) {
                const uint64_t a = uint64_t{address} + i;
                if (a < kFlashBase || a >= uint64_t{kFlashBase} + kFlashSize) continue;
                window[a - kFlashBase] = data[i];
                lowest = std::min(lowest, a);
                end = std::max(end, a + 1);
            }
        }
    }
    if (end == 0) {
        error = path + " holds no data for the flash window";
        return false;
    }
    expected.start = static_cast<uint32_t>(lowest) & ~3u;
    const uint32_t stop = (static_cast<uint32_t>(end) + 3) & ~3u;
    expected.length = stop - expected.start;
    const uint8_t* first = window.data() + (expected.start - kFlashBase);
    expected.bytes.assign(first, first + expected.length);
    expected.crc = Crc16(expected.bytes.data(), expected.length);
    return true;
}
