// SPDX-License-Identifier: Apache-2.0
#include "HexText.h"

#include "HexDigits.h"

namespace {
// What strtol in base 16 makes of the pair's valid prefix, minus its sign and blank skipping:
// a record is never meant to hold either, and this keeps every pair to one byte.
inline uint8_t PairValue(unsigned char high, unsigned char low) {
    const uint8_t h = kHexDigit[high];
    if (h == kNotHex) return 0;
    const uint8_t l = kHexDigit[low];
    if (l == kNotHex) return h;
    return static_cast<uint8_t>(h << 4 | l);
}
}  // namespace

int ReadTextLine(FILE* file, char* buffer, int size) {
    const int most = size - 1;
    int count = 0;
    while (count < most) {
        int c = getc_unlocked(file);
        if (c == EOF) break;
        if (c == '\r') {
            const int next = getc_unlocked(file);
            if (next == '\n') {
                c = '\n';
            } else if (next != EOF) {
                ungetc(next, file);
            }
        }
        buffer[count++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[count] = '\0';
    return count;
}

uint16_t ConvertPairs(const char* text, uint8_t* destination) {
    uint16_t count = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (p[0] != '\0' && p[1] != '\0') {
        destination[count++] = PairValue(p[0], p[1]);
        p += 2;
    }
    return count;
}
