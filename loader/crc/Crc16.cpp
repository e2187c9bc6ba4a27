// SPDX-License-Identifier: Apache-2.0
#include "Crc16.h"

namespace {
// Entry i is the CRC of the nibble i, that is i * 0x1021.
constexpr uint16_t kNibbleTable[16] = {0x0000, 0x1021, 0x2042, 0x3063, 0x4084, 0x50A5,
                                       0x60C6, 0x70E7, 0x8108, 0x9129, 0xA14A, 0xB16B,
                                       0xC18C, 0xD1AD, 0xE1CE, 0xF1EF};
}  // namespace

uint16_t Crc16Update(uint16_t crc, const uint8_t* data, uint32_t length) {
    uint32_t c = crc;
    for (uint32_t i = 0; i < length; ++i) {
        const uint32_t b = data[i];
        c = ((c << 4) ^ kNibbleTable[((c >> 12) ^ (b >> 4)) & 0x0F]) & 0xFFFF;
        c = ((c << 4) ^ kNibbleTable[((c >> 12) ^ b) & 0x0F]) & 0xFFFF;
    }
    return static_cast<uint16_t>(c);
}

uint16_t Crc16(const uint8_t* data, uint32_t length) {
    return Crc16Update(0, data, length);
}
