// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstddef>
#include <cstdint>

// The unit's own end of the Frame format. Requests can be far longer than any reply the loader
// takes (eleven 32-byte records make a 408-byte body), so the unit decodes into a buffer as large
// as the loader's whole request frame buffer.
constexpr size_t kRequestCapacity = 1000;
constexpr size_t kReplyFrameCapacity = 1000;
// A reply body of this size always fits kReplyFrameCapacity, even with every byte escaped.
constexpr size_t kMaxReplyBody = 497;

class CRequestDecoder {
  public:
    // Takes one received byte; true when it ended a Frame with a matching CRC. The body stays
    // readable until the next call.
    bool Take(uint8_t b);
    // Forgets a half-received Frame and a pending escape.
    void Reset();
    const uint8_t* Body() const { return m_buffer; }
    uint16_t BodySize() const { return m_bodySize; }

  private:
    uint8_t m_buffer[kRequestCapacity] = {};
    uint16_t m_length = 0;
    uint16_t m_bodySize = 0;
    bool m_escape = false;  // carried across datagrams, as on a serial line
    bool m_complete = false;
};

// Frames body into out; returns the Frame's length, 0 when it would not fit capacity.
size_t EncodeReply(const uint8_t* body, size_t n, uint8_t* out, size_t capacity);
