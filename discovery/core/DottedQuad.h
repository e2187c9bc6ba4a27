// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>

inline constexpr int kDottedQuadSize = 16;  // "255.255.255.255" and its terminator

// Writes an IPv4 address given in host byte order as dotted-decimal text; returns its length.
int FormatDottedQuad(uint32_t address, char (&text)[kDottedQuadSize]);
