// SPDX-License-Identifier: Apache-2.0
#include "HexGen.h"

#include <algorithm>

namespace {
// splitmix64: tiny, and the same sequence on every platform.
class CRandom {
  public:
    explicit CRandom(uint64_t seed) : m_state(seed) {}
    uint8_t NextByte() {
        if (m_left == 0) {
            uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            m_bits = z ^ (z >> 31);
            m_left = 8;
        }
        const auto b = static_cast<uint8_t>(m_bits);
        m_bits >>= 8;
        --m_left;
        return b;
    }

  private:
    uint64_t m_state;
    uint64_t m_bits = 0;
    int m_left = 0;
};

constexpr char kHexDigits[] = "0123456789ABCDEF";

char* PutByte(char* p, uint32_t value) {
    *p++ = kHexDigits[(value >> 4) & 0xF];
    *p++ = kHexDigits[value & 0xF];
    return p;
}

void WriteRecord(FILE* out, uint8_t type, uint16_t offset, const uint8_t* data, uint32_t count,
                 const char* lineEnd) {
    char line[1 + 2 * (4 + 255 + 1) + 3];
    char* p = line;
    *p++ = ':';
    p = PutByte(p, count);
    p = PutByte(p, offset >> 8u);
    p = PutByte(p, offset);
    p = PutByte(p, type);
    uint32_t sum = count + (offset >> 8u) + (offset & 0xFFu) + type;
    for (uint32_t i = 0; i < count; ++i) {
        p = PutByte(p, data[i]);
        sum += data[i];
    }
    p = PutByte(p, (0x100 - (sum & 0xFF)) & 0xFF);
    for (const char* e = lineEnd; *e != '\0'; ++e) *p++ = *e;
    std::fwrite(line, 1, static_cast<size_t>(p - line), out);
}

// Walks the layout: calls place(address, count) for every record in order; false when an
// address would leave the range the options allow.
template <typename Place>
bool WalkLayout(const CHexGenOptions& options, Place place) {
    const uint64_t limit = options.extendedLinear ? 0x100000000ULL : 0x10000ULL;
    uint64_t address = options.startAddress;
    uint32_t left = options.totalBytes;
    uint32_t records = 0;
    while (left > 0) {
        // Records never cross a 64 KiB boundary, where the offset would wrap.
        const uint32_t toBoundary = 0x10000 - static_cast<uint32_t>(address & 0xFFFF);
        const uint32_t count = std::min({options.bytesPerRecord, left, toBoundary});
        if (address + count > limit) return false;
        place(static_cast<uint32_t>(address), count);
        address += count;
        left -= count;
        if (options.gapEvery != 0 && ++records % options.gapEvery == 0) address += options.gapBytes;
    }
    return true;
}
}  // namespace

bool WriteHex(FILE* out, const CHexGenOptions& options, std::string& error) {
    if (options.bytesPerRecord < 1 || options.bytesPerRecord > 255) {
        error = "bytes per record must be 1 to 255";
        return false;
    }
    if (!WalkLayout(options, [](uint32_t, uint32_t) {})) {
        error = options.extendedLinear ? "data would run past address 0xFFFFFFFF"
                                       : "without type 4 records all data must lie below 0x10000";
        return false;
    }

    const char* lineEnd = options.crlf ? "\r\n" : "\n";
    CRandom random(options.seed);
    uint32_t upper = 0xFFFFFFFF;  // no type 4 record written yet
    WalkLayout(options, [&](uint32_t address, uint32_t count) {
        const uint32_t high = address >> 16;
        if (options.extendedLinear && high != upper) {
            const uint8_t base[2] = {static_cast<uint8_t>(high >> 8), static_cast<uint8_t>(high)};
            WriteRecord(out, 4, 0, base, 2, lineEnd);
            upper = high;
        }
        uint8_t data[255];
        for (uint32_t i = 0; i < count; ++i) data[i] = random.NextByte();
        WriteRecord(out, 0, static_cast<uint16_t>(address), data, count, lineEnd);
    });
    WriteRecord(out, 1, 0, nullptr, 0, lineEnd);
    if (std::ferror(out)) {
        error = "write failed";
        return false;
    }
    return true;
}

bool WriteHexFile(const std::string& path, const CHexGenOptions& options, std::string& error) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        error = "cannot create " + path;
        return false;
    }
    const bool written = WriteHex(out, options, error);
    if (std::fclose(out) != 0 && written) {
        error = "cannot write " + path;
        return false;
    }
    return written;
}
