// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// The unit's program flash and the placement of programming records into it. Written apart from
// the loader's image code on purpose: a verify that passes means two independent placements agree.
constexpr uint32_t kFlashBase = 0x9D000000;
constexpr uint32_t kFlashSize = 0x500000;
// Boot flash and configuration words start here; records for it or above are never written.
constexpr uint32_t kBootFlashBase = 0x9FC00000;

struct CBatchResult {
    uint16_t records = 0;       // complete records taken from the batch
    uint16_t badChecksums = 0;  // records placed although their checksum did not add up
    bool truncated = false;     // the last record ran past the end of the batch and was dropped
    uint32_t dataBytes = 0;     // data bytes of its data records: what the flash had to write
};

class CFlashModel {
  public:
    CFlashModel();

    void Erase();
    // Forgets the address bases and the last batch, as a fresh programming run expects.
    void ResetPlacement();
    // Places the records lying back to back in data (the body behind the command byte).
    CBatchResult PlaceBatch(const uint8_t* data, size_t length);

    // CRC-16 over length bytes from start; bytes outside the flash window count as 0xFF.
    uint16_t Crc(uint32_t start, uint32_t length) const;
    // Bytes outside the window read as 0xFF; at most kFlashSize bytes are returned.
    std::vector<uint8_t> Read(uint32_t address, uint32_t length) const;

    uint32_t SegmentBase() const { return m_segmentBase; }
    uint32_t LinearBase() const { return m_linearBase; }

  private:
    void PlaceData(uint16_t offset, const uint8_t* data, uint8_t count);
    void ApplyRecordType(uint8_t type, const uint8_t* data, uint8_t count);

    std::vector<uint8_t> m_flash;
    uint32_t m_segmentBase = 0;
    uint32_t m_linearBase = 0;
    // A resent batch must land where its first copy did, so the bases it started from are kept
    // together with a copy of it.
    std::vector<uint8_t> m_lastBatch;
    size_t m_lastBatchLength = 0;
    uint32_t m_lastSegmentBase = 0;
    uint32_t m_lastLinearBase = 0;
};

// CRC-16 continued over count bytes of 0xFF, fast for any count.
uint16_t Crc16OverFill(uint16_t crc, uint64_t count);
