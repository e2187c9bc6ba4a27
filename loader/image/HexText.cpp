#include "HexText.h"

#include <array>

namespace {
constexpr uint8_t kNotHex = 0xFF;

constexpr std::array<uint8_t, 256> MakeDigitTable() {
    std::array<uint8_t, 256> table{};
    for (auto& entry : table) entry = kNotHex;
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<uint8_t>(c - 'a' + 10);
    return table;
}

constexpr std::array<uint8_t, 256> kDigit = MakeDigitTable();

// What strtol in base 16 makes of the pair's valid prefix, minus its sign and blank skipping:
// a record is never meant to hold either, and this keeps every pair to one byte.
inline uint8_t PairValue(unsigned char high, unsigned char low) {
    const uint8_t h = kDigit[high];
    if (h == kNotHex) return 0;
    const uint8_t l = kDigit[low];
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
