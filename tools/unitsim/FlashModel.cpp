// SPDX-License-Identifier: Apache-2.0
#include "FlashModel.h"

#include <algorithm>
#include <cstring>

#include "Crc16.h"

namespace {
constexpr size_t kMaxBatch = 1000;  // no Frame the loader can send carries more
constexpr uint8_t kTypeData = 0;
constexpr uint8_t kTypeSegment = 2;
constexpr uint8_t kTypeLinear = 4;
constexpr size_t kRecordOverhead = 5;  // count, offset hi, offset lo, type, checksum

uint16_t FeedFill(uint16_t crc) {
    const uint8_t ff = 0xFF;
    return Crc16Update(crc, &ff, 1);
}
}  // namespace

uint16_t Crc16OverFill(uint16_t crc, uint64_t count) {
    // Feeding one constant byte is a bijection on the 16-bit state, so the state walks a pure
    // cycle of at most 65536 steps back to where it began; whole cycles can be skipped.
    const uint16_t origin = crc;
    uint64_t done = 0;
    while (done < count) {
        crc = FeedFill(crc);
        ++done;
        if (crc == origin) {
            uint64_t rest = (count - done) % done;
            while (rest-- > 0) crc = FeedFill(crc);
            return crc;
        }
    }
    return crc;
}

CFlashModel::CFlashModel() : m_flash(kFlashSize, 0xFF), m_lastBatch(kMaxBatch, 0) {}

void CFlashModel::Erase() {
    std::memset(m_flash.data(), 0xFF, m_flash.size());
    ResetPlacement();
}

void CFlashModel::ResetPlacement() {
    m_segmentBase = 0;
    m_linearBase = 0;
    m_lastBatchLength = 0;
    m_lastSegmentBase = 0;
    m_lastLinearBase = 0;
}

CBatchResult CFlashModel::PlaceBatch(const uint8_t* data, size_t length) {
    const bool repeated = length > 0 && length == m_lastBatchLength &&
                          std::memcmp(data, m_lastBatch.data(), length) == 0;
    if (repeated) {
        m_segmentBase = m_lastSegmentBase;
        m_linearBase = m_lastLinearBase;
    } else if (length <= kMaxBatch) {
        std::memcpy(m_lastBatch.data(), data, length);
        m_lastBatchLength = length;
        m_lastSegmentBase = m_segmentBase;
        m_lastLinearBase = m_linearBase;
    } else {
        m_lastBatchLength = 0;
    }

    CBatchResult result;
    size_t pos = 0;
    while (pos < length) {
        const uint8_t count = data[pos];
        if (length - pos < kRecordOverhead + count) {
            result.truncated = true;
            break;
        }
        const uint8_t* record = data + pos;
        uint8_t sum = 0;
        for (size_t i = 0; i < kRecordOverhead + count; ++i)
            sum = static_cast<uint8_t>(sum + record[i]);
        if (sum != 0) ++result.badChecksums;

        const uint16_t offset = static_cast<uint16_t>(record[1] << 8 | record[2]);
        const uint8_t type = record[3];
        if (type == kTypeData) {
            PlaceData(offset, record + 4, count);
            result.dataBytes += count;
        } else {
            ApplyRecordType(type, record + 4, count);
        }
        ++result.records;
        pos += kRecordOverhead + count;
    }
    return result;
}

void CFlashModel::PlaceData(uint16_t offset, const uint8_t* data, uint8_t count) {
    const uint32_t address = (m_segmentBase + m_linearBase + offset) | 0x80000000u;
    if (address >= kBootFlashBase) return;
    // Below the boot flash address + 255 cannot wrap; bytes outside the window are dropped.
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t a = address + i;
        if (a >= kFlashBase && a - kFlashBase < kFlashSize) m_flash[a - kFlashBase] = data[i];
    }
}

void CFlashModel::ApplyRecordType(uint8_t type, const uint8_t* data, uint8_t count) {
    // An address record without its two data bytes is treated like any unknown type.
    const bool hasValue = count >= 2;
    const uint32_t value = hasValue ? static_cast<uint32_t>(data[0] << 8 | data[1]) : 0;
    if (type == kTypeSegment && hasValue) {
        m_segmentBase = value << 8;  // this bootloader's segments step by 256, not 16
        m_linearBase = 0;
    } else if (type == kTypeLinear && hasValue) {
        m_linearBase = value << 16;
        m_segmentBase = 0;
    } else {
        m_segmentBase = 0;
        m_linearBase = 0;
    }
}

uint16_t CFlashModel::Crc(uint32_t start, uint32_t length) const {
    const uint64_t begin = start;
    const uint64_t end = begin + length;
    const uint64_t windowBegin = kFlashBase;
    const uint64_t windowEnd = windowBegin + kFlashSize;

    uint16_t crc = 0;
    const uint64_t beforeEnd = std::min(end, windowBegin);
    if (begin < beforeEnd) crc = Crc16OverFill(crc, beforeEnd - begin);
    const uint64_t inBegin = std::max(begin, windowBegin);
    const uint64_t inEnd = std::min(end, windowEnd);
    if (inBegin < inEnd) {
        crc = Crc16Update(crc, m_flash.data() + (inBegin - windowBegin),
                          static_cast<uint32_t>(inEnd - inBegin));
    }
    const uint64_t afterBegin = std::max(begin, windowEnd);
    if (afterBegin < end) crc = Crc16OverFill(crc, end - afterBegin);
    return crc;
}

std::vector<uint8_t> CFlashModel::Read(uint32_t address, uint32_t length) const {
    std::vector<uint8_t> out(std::min(length, kFlashSize), 0xFF);
    for (size_t i = 0; i < out.size(); ++i) {
        const uint64_t a = static_cast<uint64_t>(address) + i;
        if (a >= kFlashBase && a - kFlashBase < kFlashSize) out[i] = m_flash[a - kFlashBase];
    }
    return out;
}
