// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// Sample Intel HEX files: random data in records of a fixed size, deterministic for a seed.
struct CHexGenOptions {
    uint32_t totalBytes = 4096;
    uint32_t bytesPerRecord = 16;  // 1 to 255; 16 and 32 are the usual sizes
    uint32_t startAddress = 0x1D000000;
    uint32_t seed = 1;
    // Type 4 records before the first data and at every 64 KiB boundary; without them every
    // address must lie below 0x10000.
    bool extendedLinear = true;
    // After every gapEvery records the address jumps gapBytes ahead; 0 means no gaps.
    uint32_t gapEvery = 0;
    uint32_t gapBytes = 0;
    bool crlf = false;
};

// Writes the records and an end record. False with a reason when the options can't be met.
bool WriteHex(FILE* out, const CHexGenOptions& options, std::string& error);
bool WriteHexFile(const std::string& path, const CHexGenOptions& options, std::string& error);
