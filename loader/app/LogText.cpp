// SPDX-License-Identifier: Apache-2.0
#include "LogText.h"

#include <cstdio>

std::string RecordFaultText(const SRecordFault& fault) {
    char text[96];
    switch (fault.kind) {
        case ERecordFault::kNone:
            return {};
        case ERecordFault::kTooLong:
            std::snprintf(text, sizeof text, "%u characters, at most %u", fault.found,
                          fault.expected);
            break;
        case ERecordFault::kNotHex:
            // The file's own byte is shown only when it is plain printable text.
            if (fault.found >= 0x20 && fault.found < 0x7F && fault.found != '\'')
                std::snprintf(text, sizeof text, "character '%c' in column %u is not a hex digit",
                              static_cast<char>(fault.found), fault.column);
            else
                std::snprintf(text, sizeof text, "byte %02X in column %u is not a hex digit",
                              fault.found, fault.column);
            break;
        case ERecordFault::kOddDigits:
            std::snprintf(text, sizeof text, "%u hex digits, an odd number", fault.found);
            break;
        case ERecordFault::kShort:
            std::snprintf(text, sizeof text, "%u bytes, too short for a record", fault.found);
            break;
        case ERecordFault::kByteCount:
            std::snprintf(text, sizeof text, "byte count %02X, expected %02X", fault.found,
                          fault.expected);
            break;
        case ERecordFault::kChecksum:
            std::snprintf(text, sizeof text, "checksum %02X, expected %02X", fault.found,
                          fault.expected);
            break;
    }
    return text;
}

std::string FirmwareProblemText(const SFirmwareCheck& check) {
    switch (check.problem) {
        case EFirmwareProblem::kNone:
            return {};
        case EFirmwareProblem::kNoFile:
            return "No firmware file is open; load one first. Nothing erased.";
        case EFirmwareProblem::kNoRecord:
            return "Firmware file does not start with a record; nothing erased.";
        case EFirmwareProblem::kStrayLine:
            return "Firmware file has a line that is not a record before its last record (line " +
                   std::to_string(check.line) + "); nothing erased.";
        case EFirmwareProblem::kDamagedRecord:
            return "Firmware file has a damaged record on line " + std::to_string(check.line) +
                   " (" + RecordFaultText(check.record) + "); nothing erased.";
        case EFirmwareProblem::kNoData:
            return "Firmware file has no data to program; nothing erased.";
    }
    return {};
}
