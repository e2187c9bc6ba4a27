// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <vector>

#include "DeviceFrames.h"
#include "FrameCodec.h"

namespace {

std::vector<uint8_t> Encode(const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out(kReplyFrameCapacity);
    out.resize(EncodeReply(body.data(), body.size(), out.data(), out.size()));
    return out;
}

// Feeds bytes; returns the bodies of the Frames that completed.
std::vector<std::vector<uint8_t>> Feed(CRequestDecoder& d, const std::vector<uint8_t>& bytes) {
    std::vector<std::vector<uint8_t>> bodies;
    for (uint8_t b : bytes) {
        if (d.Take(b)) bodies.emplace_back(d.Body(), d.Body() + d.BodySize());
    }
    return bodies;
}

TEST(UnitSimFrames, RepliesEncodeToTheKnownBytes) {
    EXPECT_EQ(Encode({0x01}), (std::vector<uint8_t>{0x01, 0x10, 0x01, 0x21, 0x10, 0x10, 0x04}));
    EXPECT_EQ(Encode({0x02}), (std::vector<uint8_t>{0x01, 0x02, 0x42, 0x20, 0x04}));
    EXPECT_EQ(Encode({0x06}), (std::vector<uint8_t>{0x01, 0x06, 0xC6, 0x60, 0x04}));
    // Too small a buffer is refused rather than overrun.
    std::vector<uint8_t> tiny(6);
    const uint8_t body[1] = {0x01};
    EXPECT_EQ(EncodeReply(body, 1, tiny.data(), tiny.size()), 0u);
}

TEST(UnitSimFrames, DecoderTakesTheLoadersFramesWholeOrSplit) {
    // Every control value in body and CRC, escaped by the loader's encoder.
    std::vector<uint8_t> body = {0x03, 0x01, 0x04, 0x10, 0x10, 0x00, 0xFF};
    std::vector<uint8_t> scratch = body;
    scratch.resize(body.size() + 2);
    std::vector<uint8_t> frame(kFrameBufferSize);
    uint16_t length = 0;
    ASSERT_TRUE(EncodeFrame(scratch.data(), scratch.size(), static_cast<uint16_t>(body.size()),
                            frame.data(), frame.size(), length));
    frame.resize(length);
    for (size_t split = 0; split <= frame.size(); ++split) {
        CRequestDecoder d;
        auto first = Feed(d, {frame.begin(), frame.begin() + split});
        auto second = Feed(d, {frame.begin() + split, frame.end()});
        first.insert(first.end(), second.begin(), second.end());
        ASSERT_EQ(first.size(), 1u) << "split " << split;
        EXPECT_EQ(first[0], body);
    }
}

TEST(UnitSimFrames, LongBatchesFitButOverlongFramesNeverComplete) {
    CRequestDecoder d;
    // Eleven 32-byte records: far past the 252 bytes the loader's reply decoder holds.
    std::vector<uint8_t> body(408, 0x5A);
    body[0] = 0x03;
    auto bodies = Feed(d, Encode(body));
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0], body);

    std::vector<uint8_t> overlong(kRequestCapacity, 0x22);  // + CRC: over capacity
    std::vector<uint8_t> frame(3000);
    frame.resize(EncodeReply(overlong.data(), overlong.size(), frame.data(), frame.size()));
    EXPECT_TRUE(Feed(d, frame).empty());
    // The next good Frame restarts cleanly at its SOH.
    EXPECT_EQ(Feed(d, Encode({0x02})).size(), 1u);
}

TEST(UnitSimFrames, NoiseShortAndBadFramesAreIgnored) {
    CRequestDecoder d;
    EXPECT_TRUE(Feed(d, {0x01, 0x00, 0x00, 0x04}).empty());        // no body byte
    EXPECT_TRUE(Feed(d, {0x01, 0x02, 0x42, 0x21, 0x04}).empty());  // wrong CRC
    // Two Frames in one stream with noise between them both complete.
    auto bodies = Feed(d, {0x01, 0x02, 0x42, 0x20, 0x04, 0x77, 0x01, 0x06, 0xC6, 0x60, 0x04});
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[1], std::vector<uint8_t>{0x06});
    // A DLE that ends one datagram escapes the first byte of the next; Reset forgets it.
    Feed(d, {0x01, 0x10});
    d.Reset();
    EXPECT_EQ(Feed(d, {0x01, 0x02, 0x42, 0x20, 0x04}).size(), 1u);
}

}  // namespace
