#include "FirmwareCheck.h"

namespace {
// A record is a line ReadRecord gives bytes for. The engine ends programming at the first
// line that gives none, and the image build stops there too, so records behind such a line
// would be neither sent nor verified.
bool IsRecord(const char* text) {
    return text[0] == ':' && text[1] != '\0' && text[2] != '\0';
}

EFirmwareProblem ScanLines(CHexFile& file, int32_t& line) {
    char text[kLineBufferSize];
    if (file.ReadLine(text, kLineBufferSize) == 0 || !IsRecord(text))
        return EFirmwareProblem::kNoRecord;
    int32_t number = 1;
    int32_t firstStray = 0;
    while (file.ReadLine(text, kLineBufferSize) != 0) {
        ++number;
        if (!IsRecord(text)) {
            if (firstStray == 0) firstStray = number;
        } else if (firstStray != 0) {
            line = firstStray;
            return EFirmwareProblem::kStrayLine;
        }
    }
    return EFirmwareProblem::kNone;
}
}  // namespace

EFirmwareProblem CheckFirmware(CHexFile& file, int32_t& line) {
    line = 0;
    if (!file.Rewind()) return EFirmwareProblem::kNoFile;
    EFirmwareProblem problem = ScanLines(file, line);
    if (problem == EFirmwareProblem::kNone) {
        uint32_t start = 0;
        uint32_t length = 0;
        uint16_t crc = 0;
        file.ComputeImageCrc(start, length, crc);
        if (!file.ImageHasData()) problem = EFirmwareProblem::kNoData;
    }
    // The build added to lines read; programming starts from a clean count.
    file.Rewind();
    return problem;
}
