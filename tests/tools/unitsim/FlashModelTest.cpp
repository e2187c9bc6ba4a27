// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <vector>

#include "Crc16.h"
#include "FlashModel.h"
#include "LoopbackClient.h"

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> b) {
    return b;
}

TEST(UnitSimFlash, AddressRecordsPlaceDataLikeTheImage) {
    CFlashModel flash;
    // Type 4 with 1D 00 and with 9D 00 both reach the same flash bytes.
    const auto a = Batch({Record(0, 4, {0x1D, 0x00}), Record(0x0010, 0, {0xA1, 0xA2})});
    flash.PlaceBatch(a.data(), a.size());
    EXPECT_EQ(flash.Read(0x9D000010, 2), Bytes({0xA1, 0xA2}));
    const auto b = Batch({Record(0, 4, {0x9D, 0x00}), Record(0x0012, 0, {0xB1})});
    flash.PlaceBatch(b.data(), b.size());
    EXPECT_EQ(flash.Read(0x9D000010, 3), Bytes({0xA1, 0xA2, 0xB1}));

    // Type 2 steps by 256 and clears the linear base, so its data lands far below the window.
    const auto seg =
        Batch({Record(0, 4, {0x1D, 0x00}), Record(0, 2, {0x12, 0x34}), Record(0x0020, 0, {0xC1})});
    flash.PlaceBatch(seg.data(), seg.size());
    EXPECT_EQ(flash.SegmentBase(), 0x123400u);
    EXPECT_EQ(flash.LinearBase(), 0u);
    EXPECT_EQ(flash.Read(0x9D000020, 1), Bytes({0xFF}));
    EXPECT_EQ(flash.Read(0x9D123420, 1), Bytes({0xFF}));
    // And a type 4 clears the segment base again.
    const auto lin = Batch({Record(0, 4, {0x1D, 0x00}), Record(0x0020, 0, {0xC2})});
    flash.PlaceBatch(lin.data(), lin.size());
    EXPECT_EQ(flash.SegmentBase(), 0u);
    EXPECT_EQ(flash.Read(0x9D000020, 1), Bytes({0xC2}));
}

TEST(UnitSimFlash, OtherTypesResetBasesAndBootFlashIsNeverWritten) {
    CFlashModel flash;
    // End record in the middle resets the bases; later records are still placed, at offset only
    // (0x80000000 | 0x20, below the window, dropped).
    auto b = Batch({Record(0, 4, {0x1D, 0x00}), Record(0x20, 0, {0x11}), Record(0, 1, {}),
                    Record(0x21, 0, {0x22}), Record(0, 4, {0x1F, 0xC0}), Record(0, 0, {0x33}),
                    Record(0, 4, {0xBD, 0x00}), Record(0, 0, {0x44})});
    const CBatchResult r = flash.PlaceBatch(b.data(), b.size());
    EXPECT_EQ(r.records, 8);
    EXPECT_EQ(r.badChecksums, 0);
    EXPECT_FALSE(r.truncated);
    EXPECT_EQ(flash.Read(0x9D000020, 2), Bytes({0x11, 0xFF}));
    EXPECT_EQ(flash.LinearBase(), 0xBD000000u);
    // 0x1FC00000 and 0xBD000000 records change nothing in the window.
    EXPECT_EQ(flash.Crc(kFlashBase, kFlashSize), [] {
        CFlashModel ref;
        const auto one = Batch({Record(0, 4, {0x1D, 0x00}), Record(0x20, 0, {0x11})});
        ref.PlaceBatch(one.data(), one.size());
        return ref.Crc(kFlashBase, kFlashSize);
    }());
}

TEST(UnitSimFlash, BytesOutsideTheWindowAreDroppedAtBothEdges) {
    CFlashModel flash;
    std::vector<uint8_t> data(8);
    for (int i = 0; i < 8; ++i) data[i] = static_cast<uint8_t>(0xC0 + i);
    // Starts 4 bytes below the window, and 4 bytes before its end.
    auto b = Batch({Record(0, 4, {0x9C, 0xFF}), Record(0xFFFC, 0, data), Record(0, 4, {0x9D, 0x4F}),
                    Record(0xFFFC, 0, data)});
    flash.PlaceBatch(b.data(), b.size());
    EXPECT_EQ(flash.Read(0x9D000000, 5), Bytes({0xC4, 0xC5, 0xC6, 0xC7, 0xFF}));
    EXPECT_EQ(flash.Read(0x9D4FFFFC, 8), Bytes({0xC0, 0xC1, 0xC2, 0xC3, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(UnitSimFlash, RepeatedBatchLandsWhereItsFirstCopyDid) {
    CFlashModel flash;
    const auto start = Batch({Record(0, 4, {0x1D, 0x00})});
    flash.PlaceBatch(start.data(), start.size());
    // The address record in the middle would move the first record on a naive replay.
    const auto b =
        Batch({Record(0x100, 0, {0x01}), Record(0, 4, {0x1D, 0x01}), Record(0x200, 0, {0x02})});
    flash.PlaceBatch(b.data(), b.size());
    flash.PlaceBatch(b.data(), b.size());
    EXPECT_EQ(flash.Read(0x9D000100, 1), Bytes({0x01}));
    EXPECT_EQ(flash.Read(0x9D010200, 1), Bytes({0x02}));
    EXPECT_EQ(flash.Read(0x9D010100, 1), Bytes({0xFF}));
    EXPECT_EQ(flash.LinearBase(), 0x1D010000u);
    // A batch that follows carries on from the bases the repeat left.
    const auto next = Batch({Record(0x201, 0, {0x03})});
    flash.PlaceBatch(next.data(), next.size());
    EXPECT_EQ(flash.Read(0x9D010201, 1), Bytes({0x03}));
}

TEST(UnitSimFlash, MalformedRecordsAreReportedAndNothingIsReadPastTheBatch) {
    CFlashModel flash;
    auto b = Batch({Record(0, 4, {0x1D, 0x00}), Record(0x30, 0, {0x55, 0x66})});
    b.back() ^= 1;  // wrong checksum: placed anyway, as the loader's image does
    auto cut = Record(0x40, 0, {1, 2, 3, 4});
    cut.resize(6);
    b.insert(b.end(), cut.begin(), cut.end());
    const CBatchResult r = flash.PlaceBatch(b.data(), b.size());
    EXPECT_EQ(r.records, 2);
    EXPECT_EQ(r.badChecksums, 1);
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(flash.Read(0x9D000030, 2), Bytes({0x55, 0x66}));
    EXPECT_EQ(flash.Read(0x9D000040, 1), Bytes({0xFF}));

    // An address record without its two bytes resets the bases like an unknown type.
    const auto shortAddress = Batch({Record(0, 4, {0x1D})});
    flash.PlaceBatch(shortAddress.data(), shortAddress.size());
    EXPECT_EQ(flash.LinearBase(), 0u);
}

TEST(UnitSimFlash, EraseRestoresFfAndForgetsBases) {
    CFlashModel flash;
    const auto b = Batch({Record(0, 4, {0x1D, 0x00}), Record(0, 0, {0x00})});
    flash.PlaceBatch(b.data(), b.size());
    flash.Erase();
    EXPECT_EQ(flash.Read(0x9D000000, 1), Bytes({0xFF}));
    EXPECT_EQ(flash.LinearBase(), 0u);
    // The same batch after an erase is a new run, not a repeat to be rebased.
    flash.PlaceBatch(b.data(), b.size());
    EXPECT_EQ(flash.Read(0x9D000000, 1), Bytes({0x00}));
}

TEST(UnitSimFlash, CrcCountsBytesOutsideTheWindowAsFf) {
    CFlashModel flash;
    const auto b = Batch({Record(0, 4, {0x1D, 0x00}), Record(0, 0, {1, 2, 3, 4})});
    flash.PlaceBatch(b.data(), b.size());
    const std::vector<uint8_t> window = flash.Read(kFlashBase, 16);
    EXPECT_EQ(flash.Crc(kFlashBase, 16), Crc16(window.data(), 16));
    EXPECT_EQ(flash.Crc(kFlashBase, 0), 0);

    std::vector<uint8_t> straddle(8, 0xFF);
    straddle.insert(straddle.end(), window.begin(), window.begin() + 8);
    EXPECT_EQ(flash.Crc(kFlashBase - 8, 16), Crc16(straddle.data(), 16));

    std::vector<uint8_t> above(300000, 0xFF);  // longer than one cycle of the fill shortcut
    EXPECT_EQ(flash.Crc(0xA0000000, 300000), Crc16(above.data(), 300000));
    EXPECT_EQ(Crc16OverFill(0x1234, 70001), Crc16Update(0x1234, above.data(), 70001));
    // The full 32-bit range ends in time, runs past the top of the address space as erased
    // bytes and never wraps round into the window's data.
    EXPECT_EQ(flash.Crc(0xFFFFFFF0, 0xFFFFFFFF), Crc16OverFill(0, 0xFFFFFFFF));
    EXPECT_EQ(flash.Read(0xFFFFFFFE, 4), Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(flash.Read(0, 0xFFFFFFFF).size(), kFlashSize);
}

}  // namespace
