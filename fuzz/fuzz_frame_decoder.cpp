// SPDX-License-Identifier: Apache-2.0
// Arbitrary datagram sequences into the decoder: the reply never grows past 253 bytes and a
// completed Frame always carries the CRC of its body.
#include <cstdint>
#include <cstdlib>

#include "Crc16.h"
#include "FrameCodec.h"

namespace {
volatile uint32_t g_completed = 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFrameDecoder decoder;
    bool escape = false;
    size_t pos = 0;
    // Each datagram: one length byte, then that many bytes; a set top bit clears the latch first,
    // as the engine does after taking a reply.
    while (pos < size) {
        const uint8_t header = data[pos++];
        if (header & 0x80) decoder.frameComplete = false;
        size_t count = header & 0x7F;
        if (count > size - pos) count = size - pos;
        DecodeBytes(decoder, escape, data + pos, static_cast<uint16_t>(count));
        pos += count;
        if (decoder.replyLength > 253) abort();
        if (decoder.frameComplete) {
            const uint16_t n = decoder.replyLength;
            if (n < 3) abort();
            const uint16_t received =
                static_cast<uint16_t>(decoder.reply[n - 2] | decoder.reply[n - 1] << 8);
            if (Crc16(decoder.reply, n - 2u) != received) abort();
            g_completed = g_completed + 1;
        }
    }
    return 0;
}
