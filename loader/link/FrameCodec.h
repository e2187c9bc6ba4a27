// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstddef>
#include <cstdint>

// SOH, body, CRC-16 of the body low byte first, EOT; body and CRC bytes of value SOH, EOT
// or DLE go out behind a DLE.
constexpr uint8_t SOH = 0x01;
constexpr uint8_t EOT = 0x04;
constexpr uint8_t DLE = 0x10;

constexpr size_t kRequestScratchSize = 1000;
constexpr size_t kFrameBufferSize = 1000;
constexpr size_t kReplyBufferSize = 256;
// Decoded bytes beyond this wrap the reply buffer back to its start.
constexpr uint16_t kMaxDecodedLength = 252;
// A body of this size always fits both buffers, even with every byte escaped.
constexpr size_t kMaxSafeBodyLength = 497;

// Bytes one body needs once framed: SOH, every body and CRC byte (twice when escaped), EOT.
size_t EncodedFrameLength(const uint8_t* body, uint16_t n);

// Appends the CRC at scratch[n], scratch[n + 1] and writes the escaped Frame to frame.
// Refuses (false, nothing written, encodedLength 0) a body whose CRC would not fit the scratch
// or whose Frame would not fit the frame buffer.
bool EncodeFrame(uint8_t* scratch, size_t scratchCapacity, uint16_t n, uint8_t* frame,
                 size_t frameCapacity, uint16_t& encodedLength);

// One receiver's decoder fields. The escape flag is kept apart so that its owner decides how
// far it is shared: the loader keeps one for the whole process.
struct CFrameDecoder {
    uint8_t reply[kReplyBufferSize] = {};
    uint16_t replyLength = 0;
    bool frameComplete = false;
};

void DecodeBytes(CFrameDecoder& decoder, bool& escapePending, const uint8_t* data, uint16_t count);
