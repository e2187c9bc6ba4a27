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

// Loads and checks the file: empty when it is fit to flash, else the reason. A fit file's
// range and CRC-16 come from the check's own pass.
std::string CheckFile(const std::string& path, SFirmwareCheck& check) {
    CPathAnswer chooser;
    chooser.path = path;
    CHexFile file;
    file.SetFileChooser(&chooser);
    if (!file.Load())
        return file.NotRegularFile()
                   ? path + " is not a regular file; nothing was sent"
                   : "cannot open the firmware file " + path + "; nothing was sent";
    check = CheckFirmware(file);
    return check.problem == EFirmwareProblem::kNone ? std::string()
                                                    : path + ": " + FirmwareProblemText(check);
}
}  // namespace

std::string FirmwareProblem(const std::string& path) {
    SFirmwareCheck check;
    return CheckFile(path, check);
}

int RunImageInfo(const std::string& path) {
    SFirmwareCheck check;
    const std::string problem = CheckFile(path, check);
    if (!problem.empty()) {
        std::fprintf(stderr, "quillon-flash: %s\n", problem.c_str());
        return kExitBadFirmware;
    }
    std::printf("start 0x%08X\nlength %u\ncrc16 0x%04X\nrecords %d\n", check.start, check.length,
                check.crc, check.records);
    return 0;
}
