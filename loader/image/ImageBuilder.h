// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>

// The Firmware image mirrors device addresses 0x9D000000 .. 0x9D4FFFFF.
constexpr uint32_t kImageBase = 0x9D000000;
constexpr uint32_t kImageSize = 0x500000;
// Data records from here up are for the bootloader's own flash and are never placed.
constexpr uint32_t kBootFlashFloor = 0x9FC00000;

// Builds the process's one Firmware image and the range a verify request carries.
class CImageBuilder {
  public:
    // Fills the whole image with 0xFF and forgets the range and the address bases.
    void Begin();
    // Acts on one record in byte form, of which the line supplied the first `supplied` bytes:
    // a data record is placed, an address record sets the bases, any other type clears them.
    void PlaceRecord(const uint8_t* record, uint16_t supplied);
    // Places a data record of count bytes at address, of which only the first supplied came from
    // the line. Bytes outside the image window are dropped and do not count toward the range:
    // the unit checks the range over its own flash, and those bytes are not in our mirror.
    void PlaceData(uint32_t address, const uint8_t* data, uint32_t supplied, uint32_t count);
    // Rounds the range out to multiples of 4 and checksums it; returns the CRC.
    uint16_t Finish(uint32_t& start, uint32_t& length, uint16_t& crc) const;
    bool HasData() const { return m_end > m_lowest; }

  private:
    uint32_t m_lowest = 0xFFFFFFFF;
    uint32_t m_end = 0;
    uint32_t m_segmentBase = 0;
    uint32_t m_linearBase = 0;
};

// The image itself, as the last build left it (all zero before the first).
const uint8_t* FirmwareImage();
