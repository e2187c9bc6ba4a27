#include "FirmwareFile.h"

#include <cstdio>

#include "FlashOptions.h"
#include "HexFile.h"
#include "LogText.h"

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
        return file.NotRegularFile()
                   ? path + " is not a regular file; nothing was sent"
                   : "cannot open the firmware file " + path + "; nothing was sent";
    int32_t line = 0;
    const EFirmwareProblem problem = CheckFirmware(file, line);
    return problem == EFirmwareProblem::kNone ? std::string()
                                              : path + ": " + FirmwareProblemText(problem, line);
}

int RunImageInfo(const std::string& path) {
    CPathAnswer chooser;
    CHexFile file;
    if (!LoadPath(path, chooser, file)) {
        std::fprintf(stderr, "quillon-flash: cannot open the firmware file %s\n", path.c_str());
        return kExitBadFirmware;
    }
    file.Rewind();
    uint32_t start = 0, length = 0;
    uint16_t crc = 0;
    file.ComputeImageCrc(start, length, crc);
    std::printf("start 0x%08X\nlength %u\ncrc16 0x%04X\nrecords %d\n", start, length, crc,
                file.LinesRead());
    if (!file.ImageHasData()) {
        std::fprintf(stderr,
                     "quillon-flash: %s holds no data for the flash window 0x9D000000 to "
                     "0x9D4FFFFF\n",
                     path.c_str());
        return kExitBadFirmware;
    }
    return 0;
}

bool ReadImageIdentity(const std::string& path, uint32_t& start, uint32_t& length, uint16_t& crc) {
    CPathAnswer chooser;
    CHexFile file;
    if (!LoadPath(path, chooser, file)) return false;
    file.Rewind();
    file.ComputeImageCrc(start, length, crc);
    return true;
}
