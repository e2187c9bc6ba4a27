// SPDX-License-Identifier: Apache-2.0
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

// Loads and checks the file: empty when it is fit to flash, else the reason. A fit file's
// range and CRC-16 come from the check's own pass.
std::string CheckFile(const std::string& path, SFirmwareCheck& check) {
    CPathAnswer chooser;
    chooser.path = path;
    CHexFile file;
    file.SetFileChooser(&chooser);
    if (!file.Load())
        return file.NotRegularFile() ? FlashText::FirmwareNotRegular(path)
                                     : FlashText::CannotOpenFirmware(path);
    check = CheckFirmware(file);
    return check.problem == EFirmwareProblem::kNone
               ? std::string()
               : FlashText::FirmwareRefused(path, FirmwareProblemText(check));
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
        SayOnStderr(problem);
        return kExitBadFirmware;
    }
    std::printf("start 0x%08X\nlength %u\ncrc16 0x%04X\nrecords %d\n", check.start, check.length,
                check.crc, check.records);
    return 0;
}

bool ReadImageIdentity(const std::string& path, uint32_t& start, uint32_t& length, uint16_t& crc) {
    SFirmwareCheck check;
    if (!CheckFile(path, check).empty()) return false;
    start = check.start;
    length = check.length;
    crc = check.crc;
    return true;
}
