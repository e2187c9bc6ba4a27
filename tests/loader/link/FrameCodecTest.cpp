// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Crc16.h"
#include "FrameCodec.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encode(const Bytes& body) {
    uint8_t scratch[kRequestScratchSize] = {};
    uint8_t frame[kFrameBufferSize] = {};
    std::memcpy(scratch, body.data(), body.size());
    uint16_t length = 0;
    EXPECT_TRUE(EncodeFrame(scratch, sizeof scratch, static_cast<uint16_t>(body.size()), frame,
                            sizeof frame, length));
    return Bytes(frame, frame + length);
}

struct Decoder {
    CFrameDecoder d;
    bool escape = false;
    void Feed(const Bytes& b) { DecodeBytes(d, escape, b.data(), static_cast<uint16_t>(b.size())); }
    Bytes Reply() const { return Bytes(d.reply, d.reply + d.replyLength); }
};

TEST(Crc16, MatchesTheXmodemCheckValues) {
    const uint8_t one = 0x01;
    EXPECT_EQ(Crc16(nullptr, 0), 0x0000);
    EXPECT_EQ(Crc16(&one, 1), 0x1021);
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x31C3);
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>("abc"), 3), 0x9DD6);
}

TEST(Crc16, EqualsTheBitwiseDefinitionAndContinuesAcrossPieces) {
    uint8_t data[300];
    for (int i = 0; i < 300; ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
    uint16_t bitwise = 0;
    for (uint8_t b : data) {
        bitwise ^= static_cast<uint16_t>(b << 8);
        for (int k = 0; k < 8; ++k)
            bitwise = (bitwise & 0x8000) ? static_cast<uint16_t>((bitwise << 1) ^ 0x1021)
                                         : static_cast<uint16_t>(bitwise << 1);
    }
    EXPECT_EQ(Crc16(data, 300), bitwise);
    EXPECT_EQ(Crc16Update(Crc16(data, 120), data + 120, 180), bitwise);
}

TEST(EncodeFrame, GivesTheKnownBytesOfTheOneByteCommands) {
    EXPECT_EQ(Encode({0x01}), (Bytes{0x01, 0x10, 0x01, 0x21, 0x10, 0x10, 0x04}));
    EXPECT_EQ(Encode({0x02}), (Bytes{0x01, 0x02, 0x42, 0x20, 0x04}));
    EXPECT_EQ(Encode({0x05}), (Bytes{0x01, 0x05, 0xA5, 0x50, 0x04}));
    EXPECT_EQ(Encode({0x06}), (Bytes{0x01, 0x06, 0xC6, 0x60, 0x04}));
}

TEST(EncodeFrame, RefusesBodiesThatWouldOverrunEitherBuffer) {
    uint8_t scratch[kRequestScratchSize];
    uint8_t frame[kFrameBufferSize + 8];
    std::memset(frame, 0xEE, sizeof frame);
    uint16_t length = 123;
    // Every byte escaped: 497 bytes always fit, 499 never do.
    std::memset(scratch, DLE, sizeof scratch);
    EXPECT_TRUE(EncodeFrame(scratch, sizeof scratch, 497, frame, kFrameBufferSize, length));
    EXPECT_LE(length, kFrameBufferSize);
    std::memset(scratch, DLE, sizeof scratch);
    EXPECT_FALSE(EncodeFrame(scratch, sizeof scratch, 499, frame, kFrameBufferSize, length));
    EXPECT_EQ(length, 0);
    // Nothing to escape: the frame (n + 4) and the scratch (n + 2) limit in turn.
    std::memset(scratch, 0x55, sizeof scratch);
    EXPECT_FALSE(EncodeFrame(scratch, sizeof scratch, 998, frame, kFrameBufferSize, length));
    EXPECT_FALSE(EncodeFrame(scratch, sizeof scratch, 999, frame, kFrameBufferSize, length));
    for (size_t i = kFrameBufferSize; i < sizeof frame; ++i) EXPECT_EQ(frame[i], 0xEE);
}

TEST(DecodeBytes, CompletesAValidFrameAndKeepsBodyAndCrc) {
    Decoder dec;
    dec.Feed({0x01, 0x02, 0x42, 0x20, 0x04});
    EXPECT_TRUE(dec.d.frameComplete);
    EXPECT_EQ(dec.Reply(), (Bytes{0x02, 0x42, 0x20}));
}

TEST(DecodeBytes, GivesTheSameResultWhateverTheSplit) {
    const Bytes frame = Encode({0x01, 0x01, 0x04, 'A', 'B', 0x10});
    for (size_t cut = 0; cut <= frame.size(); ++cut) {
        Decoder dec;
        dec.Feed(Bytes(frame.begin(), frame.begin() + cut));
        if (cut < frame.size()) {
            EXPECT_FALSE(dec.d.frameComplete) << cut;
        }
        // A cut right behind a DLE leaves the escape pending for the next datagram.
        if (cut > 0 && frame[cut - 1] == DLE && (cut < 2 || frame[cut - 2] != DLE)) {
            EXPECT_TRUE(dec.escape) << cut;
        }
        dec.Feed(Bytes(frame.begin() + cut, frame.end()));
        ASSERT_TRUE(dec.d.frameComplete) << cut;
        EXPECT_EQ(dec.d.replyLength, 8) << cut;
        EXPECT_EQ(Bytes(dec.d.reply, dec.d.reply + 6), (Bytes{0x01, 0x01, 0x04, 'A', 'B', 0x10}));
    }
}

TEST(DecodeBytes, TakesTheByteBehindADleAsData) {
    Decoder dec;
    dec.Feed({0x01, 0x10, 0x10, 0x10, 0x01, 0x10, 0x04});
    EXPECT_FALSE(dec.d.frameComplete);
    EXPECT_EQ(dec.Reply(), (Bytes{0x10, 0x01, 0x04}));
    EXPECT_FALSE(dec.escape);
}

TEST(DecodeBytes, NeedsABodyByteAndAMatchingCrc) {
    Decoder empty;
    empty.Feed({0x01, 0x00, 0x00, 0x04});  // 00 00 is the CRC of no bytes
    EXPECT_FALSE(empty.d.frameComplete);
    EXPECT_EQ(empty.d.replyLength, 2);

    // EOT after SOH or after one byte is ignored and what follows is appended.
    Decoder early;
    early.Feed({0x01, 0x04, 0x02, 0x04, 0x42, 0x20, 0x04});
    EXPECT_TRUE(early.d.frameComplete);
    EXPECT_EQ(early.Reply(), (Bytes{0x02, 0x42, 0x20}));
}

TEST(DecodeBytes, RecoversFromABadCrcAtTheNextSoh) {
    Decoder dec;
    dec.Feed({0x01, 0x02, 0x42, 0x21, 0x04});
    EXPECT_FALSE(dec.d.frameComplete);
    dec.Feed({0x77, 0x01, 0x06, 0xC6, 0x60, 0x04});
    EXPECT_TRUE(dec.d.frameComplete);
    EXPECT_EQ(dec.Reply(), (Bytes{0x06, 0xC6, 0x60}));
}

TEST(DecodeBytes, LatchesTheFirstFrameUntilCleared) {
    Decoder dec;
    dec.Feed({0x01, 0x02, 0x42, 0x20, 0x04, 0x01, 0x06, 0xC6, 0x60, 0x04});
    ASSERT_TRUE(dec.d.frameComplete);
    EXPECT_EQ(dec.Reply(), (Bytes{0x02, 0x42, 0x20}));

    // While latched nothing is decoded, and a pending escape stays as it was.
    dec.escape = true;
    dec.Feed({0x01, 0x05, 0xA5, 0x50, 0x04});
    EXPECT_EQ(dec.Reply(), (Bytes{0x02, 0x42, 0x20}));
    EXPECT_TRUE(dec.escape);

    dec.escape = false;
    dec.d.frameComplete = false;
    dec.Feed({0x01, 0x05, 0xA5, 0x50, 0x04});
    EXPECT_TRUE(dec.d.frameComplete);
    EXPECT_EQ(dec.Reply(), (Bytes{0x05, 0xA5, 0x50}));
}

Bytes FrameOfDecodedLength(size_t decoded) {
    // decoded = body + 2 CRC bytes; the body avoids control bytes so counts stay exact.
    Bytes body(decoded - 2, 0x55);
    body[0] = 0x03;
    const uint16_t crc = Crc16(body.data(), static_cast<uint32_t>(body.size()));
    Bytes frame;
    frame.reserve(decoded + 4);
    frame.push_back(SOH);
    for (uint8_t b : body) frame.push_back(b);
    for (uint8_t b : {static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8)}) {
        if (b == SOH || b == EOT || b == DLE) frame.push_back(DLE);
        frame.push_back(b);
    }
    frame.push_back(EOT);
    return frame;
}

TEST(DecodeBytes, Completes252DecodedBytesButWrapsAt253) {
    Decoder fits;
    fits.Feed(FrameOfDecodedLength(252));
    EXPECT_TRUE(fits.d.frameComplete);
    EXPECT_EQ(fits.d.replyLength, 252);

    Decoder wraps;
    const Bytes frame = FrameOfDecodedLength(253);
    for (size_t i = 0; i < frame.size(); i += 40)
        wraps.Feed(Bytes(frame.begin() + i, frame.begin() + std::min(frame.size(), i + 40)));
    EXPECT_FALSE(wraps.d.frameComplete);
    EXPECT_LE(wraps.d.replyLength, 253);
}

TEST(DecodeBytes, RoundTripsEveryByteValue) {
    Bytes body(250);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i);
    body[0] = 0x04;
    Decoder dec;
    dec.Feed(Encode(body));
    ASSERT_TRUE(dec.d.frameComplete);
    EXPECT_EQ(Bytes(dec.d.reply, dec.d.reply + 250), body);
}

}  // namespace
