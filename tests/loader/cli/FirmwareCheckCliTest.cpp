// SPDX-License-Identifier: Apache-2.0
// quillon-flash and --image-info on files that the whole file check refuses: exit 3, one
// message, and no unit woken.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FlashRig.h"
#include "LoopbackUnit.h"
#include "TempDir.h"
#include "UnitSim.h"

namespace {

const std::string kEla = HexRecord(4, 0, {0x1D, 0x00});
const std::string kEnd = ":00000001FF\n";

std::vector<uint8_t> DataOf(int record) {
    std::vector<uint8_t> data(16);
    for (int i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>(record * 3 + i * 5 + 1);
    return data;
}

std::string DataRecord(int record) {
    return HexRecord(0, static_cast<uint16_t>(record * 16), DataOf(record));
}

// Record 1 (line 3) with its first data byte changed and its checksum kept, as one changed
// digit leaves it; the reason names both checksums.
std::string DamagedFile(std::string& reason) {
    std::vector<uint8_t> data = DataOf(1);
    const std::string sound = DataRecord(1);
    data[0] ^= 0x10;
    std::string damaged = HexRecord(0, 16, data);
    const std::string right = damaged.substr(damaged.size() - 3, 2);
    damaged.replace(damaged.size() - 3, 2, sound.substr(sound.size() - 3, 2));
    reason = "checksum " + sound.substr(sound.size() - 3, 2) + ", expected " + right;
    return kEla + DataRecord(0) + damaged + DataRecord(2) + kEnd;
}

std::string Refusal(const std::string& path, int line, const std::string& reason) {
    return "quillon-flash: " + path + ": Firmware file has a damaged record on line " +
           std::to_string(line) + " (" + reason + "); nothing erased.\n";
}

// A data record padded with digits to the given length; too long to be a record.
std::string LongLine(size_t size) {
    std::string line = ":FF000000";
    while (line.size() < size) line += "A5";
    line.resize(size);
    return line + "\n";
}

}  // namespace

TEST(FirmwareCheckCli, ADamagedRecordIsRefusedBeforeTheUnitIsWoken) {
    const auto unit = StartLoopbackUnit(EWakeup::kNeeded);
    CTempDir dir;
    std::string reason;
    const std::string damaged = dir.Write("damaged.hex", DamagedFile(reason), true);
    const struct {
        std::string path;
        std::string err;
    } cases[] = {
        {damaged, Refusal(damaged, 3, reason)},
        // Short enough for the old reader's buffer, too long for the engine's reads: once the
        // unit was erased before the line failed.
        {dir.Write("995.hex", kEla + DataRecord(0) + LongLine(995) + kEnd),
         "995 characters, at most 521"},
        {dir.Write("999.hex", kEla + DataRecord(0) + LongLine(999) + kEnd),
         "999 characters, at most 521"},
        // Longer than the reader's buffer: the long line is named, not the one after it.
        {dir.Write("1205.hex", kEla + DataRecord(0) + LongLine(1205) + DataRecord(1) + kEnd),
         "1205 characters, at most 521"},
    };
    for (const auto& c : cases) {
        const std::string expected = c.path == damaged ? c.err : Refusal(c.path, 3, c.err);
        const CRun run =
            RunFlash({"--port", std::to_string(unit->Port()), "127.0.0.1", c.path}, 5000);
        EXPECT_EQ(run.status, 3) << c.path;
        EXPECT_EQ(run.err, expected);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(unit->RequestCount(), 0u);
}

TEST(FirmwareCheckCli, ImageInfoRefusesWhatTheFlasherRefusesWithTheSameMessage) {
    const auto unit = StartLoopbackUnit(EWakeup::kNeeded);
    CTempDir dir;
    std::string reason;
    const std::string paths[] = {
        // A blank line before later records: once a CRC over part of the data, and exit 0.
        dir.Write("gap.hex", kEla + DataRecord(0) + "\n" + DataRecord(1) + kEnd),
        dir.Write("damaged.hex", DamagedFile(reason)),
        dir.Write("text.hex", "release notes\n"),
        dir.Write("nodata.hex", kEnd),
        dir.PathOf("missing.hex"),
    };
    for (const std::string& path : paths) {
        const CRun flash =
            RunFlash({"--port", std::to_string(unit->Port()), "127.0.0.1", path}, 5000);
        const CRun info = RunFlash({"--image-info", path}, 5000);
        EXPECT_EQ(flash.status, 3) << path;
        EXPECT_EQ(info.status, 3) << path;
        EXPECT_NE(info.err, "") << path;
        EXPECT_EQ(info.err, flash.err);
        EXPECT_EQ(info.out, "") << path;
    }
    EXPECT_EQ(unit->RequestCount(), 0u);
}
