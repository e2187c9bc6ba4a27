// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <string>

// The whole file is checked before any unit is woken, as the dialog checks it before the
// erase. Empty when it is fit to flash; otherwise the reason, in words.
std::string FirmwareProblem(const std::string& path);

// --image-info: the same check, then the range and CRC-16 a verify would carry; returns the
// exit status.
int RunImageInfo(const std::string& path);

// The range and CRC-16 a verify of path would carry (for --record); false if it can't be read.
bool ReadImageIdentity(const std::string& path, uint32_t& start, uint32_t& length, uint16_t& crc);
