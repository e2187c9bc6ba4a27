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
