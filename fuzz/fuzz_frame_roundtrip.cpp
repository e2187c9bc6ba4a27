// SPDX-License-Identifier: Apache-2.0
// Every body that fits comes back from EncodeFrame -> DecodeBytes unchanged, in one piece or
// cut in two; a body that does not fit is refused without touching memory past the buffers.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FrameCodec.h"

namespace {
volatile uint32_t g_roundTrips = 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t cut = data[0];
    data += 1;
    size -= 1;
    static uint8_t scratch[kRequestScratchSize];
    static uint8_t frame[kFrameBufferSize];
    const size_t n = size < kRequestScratchSize ? size : kRequestScratchSize;
    std::memcpy(scratch, data, n);
    uint16_t encoded = 0;
    if (!EncodeFrame(scratch, sizeof scratch, static_cast<uint16_t>(n), frame, sizeof frame,
                     encoded)) {
        if (n <= kMaxSafeBodyLength) abort();  // always fits
        return 0;
    }
    if (encoded > kFrameBufferSize) abort();
    CFrameDecoder decoder;
    bool escape = false;
    const size_t first = cut % (encoded + 1u);
    DecodeBytes(decoder, escape, frame, static_cast<uint16_t>(first));
    DecodeBytes(decoder, escape, frame + first, static_cast<uint16_t>(encoded - first));
    // Longer bodies wrap the reply buffer; only the ones that fit it must come back.
    if (n + 2 <= kMaxDecodedLength) {
        if (!decoder.frameComplete || decoder.replyLength != n + 2) abort();
        if (std::memcmp(decoder.reply, data, n) != 0) abort();
        g_roundTrips = g_roundTrips + 1;
    }
    return 0;
}
