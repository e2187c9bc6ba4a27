// SPDX-License-Identifier: Apache-2.0
#include "AddressFields.h"

#include <cstdio>
#include <cstring>

uint32_t AddressFromFields(const uint8_t fields[4]) {
    return (uint32_t{fields[0]} << 24) | (uint32_t{fields[1]} << 16) | (uint32_t{fields[2]} << 8) |
           uint32_t{fields[3]};
}

void FieldsFromAddress(uint32_t address, uint8_t fields[4]) {
    for (int i = 0; i < 4; ++i) fields[i] = static_cast<uint8_t>(address >> (24 - 8 * i));
}

bool ParseDottedFields(const std::string& text, uint8_t fields[4]) {
    uint8_t parsed[4] = {0, 0, 0, 0};
    int field = 0;
    unsigned value = 0;
    int digits = 0;
    for (const char c : text) {
        if (c == '.') {
            if (++field > 3) return false;
            value = 0;
            digits = 0;
        } else if (c >= '0' && c <= '9') {
            if (++digits > 3) return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > 255) return false;
            parsed[field] = static_cast<uint8_t>(value);
        } else if (c != ' ') {
            return false;
        }
    }
    std::memcpy(fields, parsed, 4);
    return true;
}

std::string FormatDottedFields(const uint8_t fields[4]) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", fields[0], fields[1], fields[2], fields[3]);
    return text;
}
