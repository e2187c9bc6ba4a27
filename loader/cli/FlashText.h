// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>

#include "UnitReport.h"

// quillon-flash's own messages, in one place, as the dialog's log lines are in LogText.h: the
// program writes them, the tests expect them, and a test checks the manual page against them.
// Each stands without the "quillon-flash: " that stderr lines begin with.
namespace FlashText {
constexpr const char* kPrefix = "quillon-flash: ";

// Usage errors, followed by the usage text; exit status 64.
constexpr const char* kPortNeedsNumber = "--port needs a number from 1 to 65535";
constexpr const char* kJobsNeedsNumber = "--jobs needs a number from 1 to 64";
constexpr const char* kAttemptsNeedsNumber = "--attempts needs a number from 1 to 100";
constexpr const char* kProgramTriesNeedsNumber = "--program-tries needs a number from 1 to 100";
constexpr const char* kInfoExcludesImageInfo = "--info and --image-info exclude each other";
constexpr const char* kImageInfoArguments =
    "--image-info takes one firmware file and no network options";
constexpr const char* kInfoArguments = "--info takes one target";
constexpr const char* kResetNeedsFirmware = "--reset-defaults needs a firmware file to flash";
constexpr const char* kTargetsAndFirmwareNeeded = "targets and a firmware file are needed";
constexpr const char* kRecordNotForInfo = "--record records flashes, not --info or --image-info";
constexpr const char* kMacNeedsRecord = "--mac names the unit for --record; give --record too";
constexpr const char* kMacNeedsOneTarget = "--mac goes with a single target";
// Only a quillon-flash of many units gives --child-start-ns, to the units it starts.
constexpr const char* kBadChildStart = "bad --child-start-ns";
std::string OptionNeedsValue(const std::string& option);
std::string UnknownOption(const std::string& option);
std::string NotATarget(const std::string& text);

// The targets file. "-" is standard input, named so in these messages.
constexpr int kMostTargetLineBytes = 1024;
constexpr int kMostTargets = 4096;
constexpr int kMostTargetLines = 65536;  // comments and blank lines included
std::string TargetsName(const std::string& path);
std::string CannotReadTargets(const std::string& path, const std::string& reason);
std::string NoTargetIn(const std::string& path);
std::string TargetsLineNotATarget(const std::string& path, int line, const std::string& text);
std::string TargetsLineTooLong(const std::string& path, int line);
std::string TooManyTargets(const std::string& path, int line);
std::string TooManyTargetLines(const std::string& path, int line);
// Where a target was given: "argument 3", or "line.txt line 7".
std::string ArgumentPlace(int position);
std::string TargetsLinePlace(const std::string& path, int line);
// One unit twice, by address and port after defaults.
std::string ListedTwice(const std::string& unit, const std::string& first,
                        const std::string& second);

// The flash record (--record); exit status 6.
std::string CannotOpenRecord(const std::string& reason);
std::string RecordNotWritten(const std::string& target, const std::string& reason);

// The trace file.
std::string CannotWriteTrace(const std::string& path, const std::string& reason);
std::string TraceWriteFailed(const std::string& path, const std::string& reason);

// Output that went nowhere; once, on stderr.
std::string OutputLost(const std::string& reason);

// The firmware file, before any unit is woken; exit status 3.
std::string CannotOpenFirmware(const std::string& path);
std::string FirmwareNotRegular(const std::string& path);
std::string FirmwareRefused(const std::string& path, const std::string& why);

// How one unit's run failed.
std::string SocketError(const std::string& box);
// The system refused to send (no route, a network down): said at once, exit status 4.
std::string CannotSend(const std::string& address, int port, const std::string& reason);
std::string NoResponseFrom(const std::string& where);
std::string NoResponseWhile(const std::string& where, const std::string& step);
std::string NoWordWhile(const std::string& step);
constexpr const char* kNoOutcome = "the flash ended without an outcome";
std::string CannotReadFirmware(const std::string& path);
std::string ResetRefused(const std::string& version);
std::string VerifyFailed(const std::string& path);
std::string ChangedWhileFlashing(const std::string& path);
std::string NotProgrammed(const std::string& path);
std::string AttemptFailed(int attempt, int attempts, const std::string& reason);
constexpr const char* kVerifiedMessage = "verified";
constexpr const char* kAnsweredMessage = "answered";

// What a unit is doing in a stage, as "resetting to defaults".
const char* StepWords(EStage stage);
// Where a unit stopped and what it is left with: "while programming: the unit is erased and
// partly programmed; flash it again".
std::string StateWords(EStage stage);
// A stop by SIGINT or SIGTERM: "Interrupted while ...: ...."
std::string Interrupted(EStage stage);
constexpr const char* kInterruptedBeforeFlashing =
    "Interrupted before flashing: nothing was erased; the unit waits in its bootloader.";

// A unit of many whose own process did not say its result; the state is added when known.
constexpr const char* kNotStarted = "interrupted before it was started; the unit is unchanged";
constexpr int kStopGraceSeconds = 3;
std::string EndedBySignal(int signal);
std::string EndedWithStatus(int status);
std::string KilledAfterInterrupt();
std::string InState(const std::string& what, EStage stage);
}  // namespace FlashText
