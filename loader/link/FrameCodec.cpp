// SPDX-License-Identifier: Apache-2.0
#include "FrameCodec.h"

#include "Crc16.h"

namespace {
bool NeedsEscape(uint8_t b) {
    return b == SOH || b == EOT || b == DLE;
}
}  // namespace

size_t EncodedFrameLength(const uint8_t* body, uint16_t n) {
    const uint16_t crc = Crc16(body, n);
    const uint8_t crcBytes[2] = {static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8)};
    size_t length = 2;  // SOH and EOT
    for (uint16_t i = 0; i < n; ++i) length += NeedsEscape(body[i]) ? 2 : 1;
    for (uint8_t b : crcBytes) length += NeedsEscape(b) ? 2 : 1;
    return length;
}

bool EncodeFrame(uint8_t* scratch, size_t scratchCapacity, uint16_t n, uint8_t* frame,
                 size_t frameCapacity, uint16_t& encodedLength) {
    encodedLength = 0;
    if (static_cast<size_t>(n) + 2 > scratchCapacity) return false;
    if (EncodedFrameLength(scratch, n) > frameCapacity) return false;

    const uint16_t crc = Crc16(scratch, n);
    scratch[n] = static_cast<uint8_t>(crc & 0xFF);
    scratch[n + 1] = static_cast<uint8_t>(crc >> 8);

    uint16_t length = 0;
    frame[length++] = SOH;
    for (size_t i = 0; i < static_cast<size_t>(n) + 2; ++i) {
        if (NeedsEscape(scratch[i])) frame[length++] = DLE;
        frame[length++] = scratch[i];
    }
    frame[length++] = EOT;
    encodedLength = length;
    return true;
}

void DecodeBytes(CFrameDecoder& d, bool& escapePending, const uint8_t* data, uint16_t count) {
    if (count == 0) return;
    bool e = escapePending;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t b = data[i];
        if (d.frameComplete) break;  // the latch drops everything until the engine clears it
        if (d.replyLength > kMaxDecodedLength) d.replyLength = 0;
        if (b == SOH && !e) {
            d.replyLength = 0;
        } else if (b == EOT && !e) {
            if (d.replyLength > 1) {
                const uint16_t body = d.replyLength - 2;
                const uint16_t received = static_cast<uint16_t>(d.reply[d.replyLength - 2] +
                                                                256 * d.reply[d.replyLength - 1]);
                if (Crc16(d.reply, body) == received && d.replyLength > 2) d.frameComplete = true;
            }
        } else if (b == DLE && !e) {
            e = true;
        } else {
            d.reply[d.replyLength++] = b;
            e = false;
        }
    }
    escapePending = e;
}
