// SPDX-License-Identifier: Apache-2.0
#include "FirmwareCheck.h"

#include "ImageBuilder.h"

namespace {
// A record is a line ReadRecord gives bytes for. The engine ends programming at the first
// line that gives none, and the image build stops there too, so records behind such a line
// would be neither sent nor verified.
bool IsRecord(const char* text) {
    return text[0] == ':' && text[1] != '\0' && text[2] != '\0';
}

// The characters before the line end of the rest of a line whose first piece filled the
// buffer; the rest is consumed.
int64_t RestOfLine(CHexFile& file, char* buffer) {
    int64_t length = 0;
    for (;;) {
        const int n = file.ReadLine(buffer, kLineBufferSize);
        if (n == 0) return length;
        if (buffer[n - 1] == '\n') return length + n - 1;
        length += n;
    }
}

SFirmwareCheck ScanFile(CHexFile& file) {
    SFirmwareCheck check;
    CImageBuilder builder;
    builder.Begin();
    char text[kLineBufferSize];
    uint8_t bytes[kLongestRecordBytes];
    int32_t number = 0;
    int32_t firstStray = 0;
    for (;;) {
        const int n = file.ReadLine(text, kLineBufferSize);
        if (n == 0) break;
        ++number;
        const bool record = IsRecord(text);
        int64_t length = n;
        if (text[n - 1] == '\n')
            --length;
        else if (n == static_cast<int>(kLineBufferSize) - 1)
            length += RestOfLine(file, text);
        if (!record) {
            if (number == 1) {
                check.problem = EFirmwareProblem::kNoRecord;
                return check;
            }
            if (firstStray == 0) firstStray = number;
            continue;
        }
        if (firstStray != 0) {
            check.problem = EFirmwareProblem::kStrayLine;
            check.line = firstStray;
            return check;
        }
        uint16_t count = 0;
        check.record = CheckRecordLine(text, length, bytes, count);
        if (check.record.kind != ERecordFault::kNone) {
            check.problem = EFirmwareProblem::kDamagedRecord;
            check.line = number;
            return check;
        }
        ++check.records;
        builder.PlaceRecord(bytes, count);
    }
    if (number == 0)
        check.problem = EFirmwareProblem::kNoRecord;
    else if (!builder.HasData())
        check.problem = EFirmwareProblem::kNoData;
    else
        builder.Finish(check.start, check.length, check.crc);
    return check;
}
}  // namespace

SFirmwareCheck CheckFirmware(CHexFile& file) {
    if (!file.Rewind()) {
        SFirmwareCheck none;
        none.problem = EFirmwareProblem::kNoFile;
        return none;
    }
    const SFirmwareCheck check = ScanFile(file);
    // Programming starts from the first line with a clean count.
    file.Rewind();
    return check;
}
