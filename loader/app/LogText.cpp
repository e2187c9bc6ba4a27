#include "LogText.h"

std::string FirmwareProblemText(EFirmwareProblem problem, int32_t line) {
    switch (problem) {
        case EFirmwareProblem::kNone:
            return {};
        case EFirmwareProblem::kNoFile:
            return "No firmware file is open; load one first. Nothing erased.";
        case EFirmwareProblem::kNoRecord:
            return "Firmware file does not start with a record; nothing erased.";
        case EFirmwareProblem::kStrayLine:
            return "Firmware file has a line that is not a record before its last record (line " +
                   std::to_string(line) + "); nothing erased.";
        case EFirmwareProblem::kNoData:
            return "Firmware file has no data to program; nothing erased.";
    }
    return {};
}
