// SPDX-License-Identifier: Apache-2.0
#pragma once
// One Intel HEX record line, checksum included, for tests that write their own files.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline std::string HexRecord(uint8_t type, uint16_t offset, const std::vector<uint8_t>& data,
                             const char* lineEnd = "\n") {
    char buf[16];
    std::snprintf(buf, sizeof buf, ":%02X%04X%02X", static_cast<unsigned>(data.size()), offset,
                  type);
    std::string line = buf;
    unsigned sum = static_cast<unsigned>(data.size()) + (offset >> 8) + (offset & 0xFF) + type;
    for (uint8_t b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
        sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + buf + lineEnd;
}
