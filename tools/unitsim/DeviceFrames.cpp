// SPDX-License-Identifier: Apache-2.0
#include "DeviceFrames.h"

#include "Crc16.h"

namespace {
constexpr uint8_t kSoh = 0x01;
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kDle = 0x10;

bool IsControl(uint8_t b) {
    return b == kSoh || b == kEot || b == kDle;
}
}  // namespace

void CRequestDecoder::Reset() {
    m_length = 0;
    m_bodySize = 0;
    m_escape = false;
    m_complete = false;
}

bool CRequestDecoder::Take(uint8_t b) {
    if (m_complete) {
        // Whatever follows a finished Frame without a new SOH is noise.
        m_complete = false;
        m_length = 0;
    }
    // An overlong Frame wraps and can never complete.
    if (m_length >= kRequestCapacity) m_length = 0;
    if (m_escape) {
        m_buffer[m_length++] = b;
        m_escape = false;
        return false;
    }
    if (b == kSoh) {
        m_length = 0;
    } else if (b == kDle) {
        m_escape = true;
    } else if (b == kEot) {
        if (m_length < 3) return false;
        const uint16_t body = static_cast<uint16_t>(m_length - 2);
        const uint16_t received = static_cast<uint16_t>(m_buffer[body] | m_buffer[body + 1] << 8);
        if (Crc16(m_buffer, body) != received) return false;
        m_bodySize = body;
        m_complete = true;
        return true;
    } else {
        m_buffer[m_length++] = b;
    }
    return false;
}

size_t EncodeReply(const uint8_t* body, size_t n, uint8_t* out, size_t capacity) {
    const uint16_t crc = Crc16(body, static_cast<uint32_t>(n));
    const uint8_t crcBytes[2] = {static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8)};
    size_t needed = 2;
    for (size_t i = 0; i < n; ++i) needed += IsControl(body[i]) ? 2 : 1;
    for (uint8_t b : crcBytes) needed += IsControl(b) ? 2 : 1;
    if (needed > capacity) return 0;

    size_t length = 0;
    auto put = [&](uint8_t b) {
        if (IsControl(b)) out[length++] = kDle;
        out[length++] = b;
    };
    out[length++] = kSoh;
    for (size_t i = 0; i < n; ++i) put(body[i]);
    put(crcBytes[0]);
    put(crcBytes[1]);
    out[length++] = kEot;
    return length;
}
