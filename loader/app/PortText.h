// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <string>

// Reads the port box as the C library's "%u" does over the first 63 characters: blanks
// skipped, an optional sign (minus wraps modulo 2^32), digits; the rest is ignored.
// False when no number starts the text.
bool ScanUnsigned(const std::string& text, uint32_t& value);
