// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <string>

#include "FirmwareCheck.h"

// The status log's lines, in one place: the dialog writes them; quillon-flash and the tests
// read them. Outcomes are never told by matching these; CQuillonDlg::Outcome() says.
namespace LogText {
constexpr const char* kAttemptingToConnect = "Attempting to connect...";
constexpr const char* kConnected = "Connected.";
// Name, major and minor version.
constexpr const char* kVersionFormat = "%s bootloader v%1u.%02u";
constexpr const char* kLoaded = "Firmware loaded successfully.";
constexpr const char* kLoadFailed = "Firmware loading failed/aborted.";
constexpr const char* kNotRegularFile = "Firmware file is not a regular file; nothing loaded.";
constexpr const char* kSchedulingReset = "Scheduling reset to defaults...";
constexpr const char* kErasing = "Verifying & erasing firmware...";
constexpr const char* kProgramming = "Programming firmware...";
constexpr const char* kProgrammed = "Programmed successfully.";
constexpr const char* kVerified = "Verification successful.";
constexpr const char* kVerifyFailed = "Verification failed.";
constexpr const char* kExited = "Bootloader exited, unit restarted.";
constexpr const char* kDisconnected = "Disconnected.";
constexpr const char* kNoResponse = "No response, operation failed.";
// The system's reason a request could not be sent, e.g. "Network is unreachable".
constexpr const char* kNetworkErrorFormat = "Network error: %s.";
constexpr const char* kFileChanged = "Firmware file changed while flashing; verification refused.";
constexpr const char* kChangedSinceLoad =
    "Firmware file changed since it was loaded; load it again. Nothing erased.";
constexpr const char* kNotProgrammed =
    "Firmware file could not be read; the unit is erased but not programmed.";
constexpr const char* kCloseMidFlash =
    "A flash is in progress. Closing now leaves the unit erased or partly programmed. Close "
    "anyway?";
}  // namespace LogText

// The line that refuses a file before anything is erased; empty for kNone.
std::string FirmwareProblemText(const SFirmwareCheck& check);
// What is wrong with a damaged record, as that line puts it in parentheses.
std::string RecordFaultText(const SRecordFault& fault);
