// SPDX-License-Identifier: Apache-2.0
#include "PortText.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

bool ScanUnsigned(const std::string& text, uint32_t& value) {
    char scan[64];
    const size_t n = text.size() < 63 ? text.size() : 63;
    std::memcpy(scan, text.data(), n);
    scan[n] = '\0';
    const char* p = scan;
    while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* digits = (*p == '+' || *p == '-') ? p + 1 : p;
    if (!std::isdigit(static_cast<unsigned char>(*digits))) return false;
    // strtoul wraps a negative value and saturates an overlong one; the store keeps 32 bits,
    // as the formatted scan does.
    value = static_cast<uint32_t>(std::strtoul(p, nullptr, 10));
    return true;
}
