#include "FirmwareFile.h"

#include <cstdio>

#include "FlashOptions.h"
#include "FlashText.h"
#include "HexFile.h"
#include "LogText.h"
#include "Output.h"

namespace {
struct CPathAnswer : IFileChooser {
    std::string path;
    bool ChooseOpenFile(const char*, std::string& chosen) override {
        chosen = path;
        return true;
    }
};

bool LoadPath(const std::string& path, CPathAnswer& chooser, CHexFile& file) {
    chooser.path = path;
    file.SetFileChooser(&chooser);
    return file.Load();
}
}  // namespace

std::string FirmwareProblem(const std::string& path) {
    CPathAnswer chooser;
    CHexFile file;
    if (!LoadPath(path, chooser, file))
        return file.NotRegularFile() ? FlashText::FirmwareNotRegular(path)
                                     : FlashText::CannotOpenFirmware(path);
    int32_t line = 0;
    const EFirmwareProblem problem = CheckFirmware(file, line);
    return problem == EFirmwareProblem::kNone
               ? std::string()
               : FlashText::FirmwareRefused(path, FirmwareProblemText(problem, line));
}

int RunImageInfo(const std::string& path) {
    CPathAnswer chooser;
    CHexFile file;
    if (!LoadPath(path, chooser, file)) {
        SayOnStderr(FlashText::ImageInfoCannotOpen(path));
        return kExitBadFirmware;
    }
    file.Rewind();
    uint32_t start = 0, length = 0;
    uint16_t crc = 0;
    file.ComputeImageCrc(start, length, crc);
    std::printf("start 0x%08X\nlength %u\ncrc16 0x%04X\nrecords %d\n", start, length, crc,
                file.LinesRead());
    if (!file.ImageHasData()) {
        SayOnStderr(FlashText::ImageInfoNoData(path));
        return kExitBadFirmware;
    }
    return 0;
}
