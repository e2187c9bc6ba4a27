// SPDX-License-Identifier: Apache-2.0
#include "core/DisplayText.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 for 0x80..0x9F; 0xFFFD marks the bytes it leaves undefined.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

}  // namespace

char32_t DisplayCodePoint(unsigned char byte) {
    if (byte < 0x20 || byte == 0x7F) return kReplacement;
    if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
    return byte;
}

void AppendDisplayUtf8(std::string_view bytes, std::string* out) {
    std::size_t next = 0;
    while (next < bytes.size()) {
        // Runs of printable ASCII, nearly all of an announce, go over as they are.
        std::size_t end = next;
        while (end < bytes.size() && bytes[end] >= 0x20 && bytes[end] < 0x7F) ++end;
        out->append(bytes.data() + next, end - next);
        if (end == bytes.size()) break;
        next = end + 1;
        const char32_t c = DisplayCodePoint(static_cast<unsigned char>(bytes[end]));
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (c >> 6)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {  // every display character is in the Basic Multilingual Plane
            out->push_back(static_cast<char>(0xE0 | (c >> 12)));
            out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    }
    return true;
}
