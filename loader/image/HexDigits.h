// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <array>
#include <cstdint>

// The value of a hexadecimal digit character, or kNotHex.
constexpr uint8_t kNotHex = 0xFF;

constexpr std::array<uint8_t, 256> MakeHexDigitTable() {
    std::array<uint8_t, 256> table{};
    for (auto& entry : table) entry = kNotHex;
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<uint8_t>(c - 'a' + 10);
    return table;
}

inline constexpr std::array<uint8_t, 256> kHexDigit = MakeHexDigitTable();
