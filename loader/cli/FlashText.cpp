// SPDX-License-Identifier: Apache-2.0
#include "FlashText.h"

namespace FlashText {

std::string OptionNeedsValue(const std::string& option) {
    return "option " + option + " needs a value";
}
std::string UnknownOption(const std::string& option) {
    return "unknown option " + option;
}
std::string NotATarget(const std::string& text) {
    return "not ADDRESS or ADDRESS:PORT, the address in dotted decimal: " + text;
}

std::string TargetsName(const std::string& path) {
    return path == "-" ? "standard input" : path;
}
std::string CannotReadTargets(const std::string& path, const std::string& reason) {
    return "cannot read the targets file " + TargetsName(path) + ": " + reason;
}
std::string NoTargetIn(const std::string& path) {
    return "no target in " + TargetsName(path);
}
std::string TargetsLinePlace(const std::string& path, int line) {
    return TargetsName(path) + " line " + std::to_string(line);
}
std::string TargetsLineNotATarget(const std::string& path, int line, const std::string& text) {
    return TargetsLinePlace(path, line) + ": not ADDRESS or ADDRESS:PORT: " + text;
}
std::string TargetsLineTooLong(const std::string& path, int line) {
    return TargetsLinePlace(path, line) + ": longer than 1,024 bytes";
}
std::string TooManyTargets(const std::string& path, int line) {
    return TargetsLinePlace(path, line) + ": more than 4,096 targets";
}
std::string TooManyTargetLines(const std::string& path, int line) {
    return TargetsLinePlace(path, line) + ": more than 65,536 lines";
}
std::string ArgumentPlace(int position) {
    return "argument " + std::to_string(position);
}
std::string ListedTwice(const std::string& unit, const std::string& first,
                        const std::string& second) {
    return unit + " is listed twice: " + first + " and " + second;
}

std::string CannotWriteTrace(const std::string& path, const std::string& reason) {
    return "cannot write the trace file " + path + ": " + reason;
}
std::string TraceWriteFailed(const std::string& path, const std::string& reason) {
    return "trace file " + path + " not written (" + reason + "); flashing goes on";
}

std::string CannotOpenRecord(const std::string& reason) {
    return "cannot open the record: " + reason + "; nothing was flashed";
}
std::string RecordNotWritten(const std::string& target, const std::string& reason) {
    return target + ": the record could not be written, this flash is not recorded: " + reason;
}

std::string OutputLost(const std::string& reason) {
    return "output lost (" + reason + "); flashing goes on";
}

std::string CannotOpenFirmware(const std::string& path) {
    return "cannot open the firmware file " + path + "; nothing was sent";
}
std::string FirmwareNotRegular(const std::string& path) {
    return path + " is not a regular file; nothing was sent";
}
std::string FirmwareRefused(const std::string& path, const std::string& why) {
    return path + ": " + why;
}

std::string CannotSend(const std::string& address, int port, const std::string& reason) {
    return "cannot send to " + address + " port " + std::to_string(port) + ": " + reason;
}

std::string SocketError(const std::string& box) {
    return "socket error: " + box;
}
std::string NoResponseFrom(const std::string& where) {
    return "no response from " + where;
}
std::string NoResponseWhile(const std::string& where, const std::string& step) {
    return "no response from " + where + " while " + step;
}
std::string NoWordWhile(const std::string& step) {
    return "no word from the engine while " + step;
}
std::string CannotReadFirmware(const std::string& path) {
    return "cannot read the firmware file " + path;
}
std::string ResetRefused(const std::string& version) {
    return "--reset-defaults refused: the bootloader is older than " + version +
           "; nothing was erased";
}
std::string VerifyFailed(const std::string& path) {
    return "verification failed: the unit's CRC differs from " + path;
}
std::string ChangedWhileFlashing(const std::string& path) {
    return path + " changed while flashing; flash it again";
}
std::string NotProgrammed(const std::string& path) {
    return path + " could not be read after the erase; the unit is erased but not programmed";
}
std::string AttemptFailed(int attempt, int attempts, const std::string& reason) {
    return "Attempt " + std::to_string(attempt) + " of " + std::to_string(attempts) + " failed (" +
           reason + "); flashing again from Connect.";
}

const char* StepWords(EStage stage) {
    switch (stage) {
        case EStage::kResetting:
            return "resetting to defaults";
        case EStage::kErasing:
            return "erasing";
        case EStage::kProgramming:
            return "programming";
        case EStage::kVerifying:
            return "verifying";
        default:
            return "connecting";
    }
}

std::string StateWords(EStage stage) {
    switch (stage) {
        case EStage::kConnecting:
            return "while connecting: nothing was erased";
        case EStage::kResetting:
            return "while resetting to defaults: nothing was erased; the unit waits in its "
                   "bootloader";
        case EStage::kErasing:
            return "while erasing: the unit may be erased; flash it again";
        case EStage::kProgramming:
            return "while programming: the unit is erased and partly programmed; flash it again";
        case EStage::kVerifying:
            return "while verifying: the unit is programmed but not verified; flash it again";
        case EStage::kDone:
        case EStage::kFailed:
            break;
    }
    return "after a failed flash: the unit is not verified; flash it again";
}

std::string Interrupted(EStage stage) {
    return "Interrupted " + StateWords(stage) + ".";
}

std::string EndedBySignal(int signal) {
    return "its process ended by signal " + std::to_string(signal);
}
std::string EndedWithStatus(int status) {
    return "its process ended with status " + std::to_string(status) + " and no result";
}
std::string KilledAfterInterrupt() {
    return "its process had not ended 3 s after the interrupt and was killed";
}
std::string InState(const std::string& what, EStage stage) {
    return what + " " + StateWords(stage) + ".";
}

}  // namespace FlashText
