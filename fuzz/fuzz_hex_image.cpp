// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes as a firmware file: read every record, build the image, then check the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "FirmwareCheck.h"
#include "HexFile.h"
#include "ImageBuilder.h"
#include "PathChooser.h"

namespace {
const std::string& InputPath() {
    static const std::string path = "/tmp/fuzz_hex_image_" + std::to_string(getpid()) + ".hex";
    return path;
}

// Load counts pieces of up to 999 characters, ReadRecord at the engine's limit pieces of 994:
// only a line longer than that can make the two disagree.
bool HasLineLongerThanReadRecordReads(const uint8_t* data, size_t size) {
    size_t run = 0;
    for (size_t i = 0; i < size; ++i) {
        run = data[i] == '\n' ? 0 : run + 1;
        if (run + 1 > static_cast<size_t>(kReadRecordLimit - 1)) return true;
    }
    return false;
}

volatile uint32_t g_sink;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = std::fopen(InputPath().c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    static CPathChooser chooser;
    static CHexFile hex;
    chooser.m_path = InputPath();
    hex.SetFileChooser(&chooser);
    // libFuzzer may end the process without running exit handlers: no file is left behind.
    const bool loaded = hex.Load();
    std::remove(InputPath().c_str());
    if (!loaded) return 0;
    if (!hex.Rewind()) __builtin_trap();

    // Every call consumes at least one character until the end, so this bound is never reached
    // by a correct reader; the limit-1 reads of 994 characters match the engine's.
    static uint8_t record[kLineBufferSize];
    uint32_t sum = 0;
    size_t calls = 0;
    while (!hex.AtEnd() && calls <= size + 1) {
        const uint16_t n = hex.ReadRecord(record, kReadRecordLimit);
        if (n > (kReadRecordLimit - 2) / 2) __builtin_trap();
        for (uint16_t i = 0; i < n; ++i) sum += record[i];
        ++calls;
    }
    if (calls > size + 1) __builtin_trap();
    if (hex.LinesRead() > hex.TotalLines() && !HasLineLongerThanReadRecordReads(data, size)) {
        __builtin_trap();
    }

    uint32_t start = 0;
    uint32_t length = 0;
    uint16_t crc = 0;
    sum += hex.ComputeImageCrc(start, length, crc);
    if (start < kImageBase || length > kImageSize || start - kImageBase + length > kImageSize ||
        start % 4 != 0 || length % 4 != 0 || hex.ImageHasData() != (length != 0)) {
        __builtin_trap();
    }

    const SFirmwareCheck check = CheckFirmware(hex);
    if (hex.LinesRead() != 0) __builtin_trap();
    const bool named = check.problem == EFirmwareProblem::kStrayLine ||
                       check.problem == EFirmwareProblem::kDamagedRecord;
    if (named != (check.line != 0)) __builtin_trap();
    if (check.line < 0 || check.line > hex.TotalLines()) __builtin_trap();
    if ((check.problem == EFirmwareProblem::kDamagedRecord) !=
        (check.record.kind != ERecordFault::kNone)) {
        __builtin_trap();
    }
    if (check.problem == EFirmwareProblem::kNone) {
        // The check's own image is the one the verify builds.
        if (check.start != start || check.length != length || check.crc != crc || length == 0)
            __builtin_trap();
        // A file that passes gives the engine only whole, sound records, up to its end.
        uint16_t n = 0;
        int32_t records = 0;
        while ((n = hex.ReadRecord(record, kReadRecordLimit)) != 0) {
            uint8_t total = 0;
            for (uint16_t i = 0; i < n; ++i) total = static_cast<uint8_t>(total + record[i]);
            if (n < kRecordFrameBytes || record[0] != n - kRecordFrameBytes || total != 0)
                __builtin_trap();
            ++records;
        }
        if (records != check.records) __builtin_trap();
    }
    g_sink = sum + start + length;
    return 0;
}
