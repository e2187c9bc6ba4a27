// SPDX-License-Identifier: Apache-2.0
#include "ImageBuilder.h"

#include <algorithm>
#include <cstring>

#include "Crc16.h"

namespace {
// Reserved once for the life of the process.
uint8_t g_image[kImageSize];
}  // namespace

const uint8_t* FirmwareImage() {
    return g_image;
}

void CImageBuilder::Begin() {
    std::memset(g_image, 0xFF, sizeof g_image);
    m_lowest = 0xFFFFFFFF;
    m_end = 0;
    m_segmentBase = 0;
    m_linearBase = 0;
}

void CImageBuilder::PlaceRecord(const uint8_t* record, uint16_t supplied) {
    // A byte the line did not supply reads as 0xFF; a record too short to hold its type is
    // therefore of no known type and only resets the bases.
    const auto byteAt = [&](unsigned i) -> uint32_t { return i < supplied ? record[i] : 0xFF; };
    switch (byteAt(3)) {
        case 0: {
            const uint32_t offset = byteAt(1) << 8 | byteAt(2);
            const uint32_t address = (m_segmentBase + m_linearBase + offset) | 0x80000000U;
            if (address >= kBootFlashFloor) break;
            const uint32_t data = supplied > 4 ? supplied - 4U : 0U;
            PlaceData(address, record + 4, data, record[0]);
            break;
        }
        case 2:
            // x 256, not the x 16 of the Intel HEX definition: the unit places it so.
            m_segmentBase = (byteAt(4) << 8 | byteAt(5)) << 8;
            m_linearBase = 0;
            break;
        case 4:
            m_linearBase = (byteAt(4) << 8 | byteAt(5)) << 16;
            m_segmentBase = 0;
            break;
        default:
            m_segmentBase = 0;
            m_linearBase = 0;
            break;
    }
}

void CImageBuilder::PlaceData(uint32_t address, const uint8_t* data, uint32_t supplied,
                              uint32_t count) {
    // 64-bit so that no address + count can wrap.
    const uint64_t first = std::max<uint64_t>(address, kImageBase);
    const uint64_t last = std::min<uint64_t>(uint64_t{address} + count, kImageBase + kImageSize);
    if (first >= last) return;
    m_lowest = std::min(m_lowest, static_cast<uint32_t>(first));
    m_end = std::max(m_end, static_cast<uint32_t>(last));

    // Bytes the count claims but the line did not supply are left as the image holds them
    // (0xFF unless an earlier record wrote there), as unprogrammed flash keeps its content.
    const uint64_t lastSupplied = std::min<uint64_t>(last, uint64_t{address} + supplied);
    if (first >= lastSupplied) return;
    std::memcpy(g_image + (first - kImageBase), data + (first - address), lastSupplied - first);
}

uint16_t CImageBuilder::Finish(uint32_t& start, uint32_t& length, uint16_t& crc) const {
    if (!HasData()) {
        // Nothing to verify: an empty range at the window's start, whose CRC is that of no bytes.
        // ImageHasData() lets the caller refuse to call such a verify a success.
        start = kImageBase;
        length = 0;
        crc = 0;
        return crc;
    }
    // Both ends stay inside the window: its bounds are multiples of 4.
    start = m_lowest & ~3U;
    const uint32_t stop = (m_end + 3) & ~3U;
    length = stop - start;
    crc = Crc16(g_image + (start - kImageBase), length);
    return crc;
}
