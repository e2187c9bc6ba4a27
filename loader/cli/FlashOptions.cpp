// SPDX-License-Identifier: Apache-2.0
#include "FlashOptions.h"

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FlashText.h"

const char* const kFlashUsage =
    "usage: quillon-flash [options] TARGET [TARGET...] FIRMWARE.hex\n"
    "       quillon-flash [options] --targets FILE FIRMWARE.hex\n"
    "       quillon-flash [--port N] [--extended-timeout] --info TARGET\n"
    "       quillon-flash --image-info FIRMWARE.hex\n";

namespace {

// "333 ms", or "2 s" for whole seconds.
std::string Spacing(uint16_t ms) {
    char text[16];
    if (ms % 1000 == 0)
        std::snprintf(text, sizeof text, "%u s", ms / 1000u);
    else
        std::snprintf(text, sizeof text, "%u ms", static_cast<unsigned>(ms));
    return text;
}

std::string Tries(const CBootTiming& timing) {
    return std::to_string(timing.tries) + " tries, " + Spacing(timing.timeoutMs) + " apart";
}

}  // namespace

std::string ResetDefaultsVersionText() {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%02u", kResetDefaultsSinceVersion / 100,
                  kResetDefaultsSinceVersion % 100);
    return text;
}

std::string FlashHelp() {
    const std::string gate = ResetDefaultsVersionText();
    return "Flashes an Intel HEX firmware file into one or many units' bootloaders over UDP, "
           "exactly\n"
           "as the Quillon dialog does: connect, [reset to defaults,] erase, program, verify by\n"
           "CRC-16, and after a good verification tell the bootloader to exit so that the unit\n"
           "restarts. Each of many units is flashed in a process of its own.\n"
           "\n"
           "  TARGET                 ADDRESS or ADDRESS:PORT, the address in dotted decimal\n"
           "  -p, --port N           the bootloader's UDP port for targets without one (default "
           "69)\n"
           "      --targets FILE     read targets from FILE, one per line; '#' starts a comment;\n"
           "                         - is standard input\n"
           "  -j, --jobs N           flash at most N units at once (default all, up to 64)\n"
           "  -r, --reset-defaults   reset the units' settings first (bootloader " +
           gate +
           " or later)\n"
           "  -e, --extended-timeout wake with the extended timing (" +
           Tries(kConnectExtended) +
           ") instead of\n"
           "                         the standard one (" +
           Tries(kConnectStandard) +
           ")\n"
           "  -a, --attempts N       flash a unit again from Connect, up to N sequences in all, "
           "when\n"
           "                         its Connect goes unanswered, it fails after the erase "
           "began,\n"
           "                         or its verification fails\n"
           "      --program-tries N  tries of each programming batch (default " +
           std::to_string(kProgramTiming.tries) +
           ")\n"
           "      --json             JSON Lines on stdout, one object per event, and nothing "
           "else\n"
           "  -q, --quiet            print nothing but errors\n"
           "  -v, --verbose          add the engine's view of every command on stderr\n"
           "      --trace FILE       append every datagram sent and received to FILE\n"
           "      --record DB        add a row per unit to the flash record: a SQLite file or a\n"
           "                         postgresql:// URL (see quillon-records)\n"
           "      --mac TEXT         the MAC of the one target, for its row (default empty)\n"
           "      --info             connect, print the bootloader's name and version, then "
           "tell\n"
           "                         the bootloader to exit, so that the unit restarts into its\n"
           "                         firmware\n"
           "      --image-info       print the range and CRC-16 that verification would use, "
           "without\n"
           "                         any network\n"
           "  -h, --help             this text\n"
           "  -V, --version          the program's name and version\n"
           "\n"
           "One target: the log lines go to stdout, one per line; a progress bar and a summary go "
           "to\n"
           "stderr when it is a terminal. Many targets: on a terminal one live line per unit and "
           "then\n"
           "a summary table; otherwise each log line prefixed with its target (\"10.0.0.7: "
           "Connected.\").\n"
           "After a failure once connected a unit is left in its bootloader, so that the flash "
           "can\n"
           "be retried. SIGINT or SIGTERM stop at once and say what each unit is left with;\n"
           "SIGHUP and a closed output never stop a flash. A unit given twice is refused.\n"
           "\n"
           "Exit status: 0 every unit verified (or --info answered, or --image-info done); "
           "otherwise\n"
           "that of the first target, in the order given, that failed: 1 no response, 2 "
           "verification\n"
           "failed, 3 firmware file missing, unusable or changed, 4 socket error, 5 reset to\n"
           "defaults refused by a bootloader before " +
           gate +
           "; 6 the record could not be opened (nothing\n"
           "flashed) or a unit's row not written (its flash stands); 64 usage error; 130 or 143\n"
           "interrupted.\n";
}

namespace {

bool ParseCount(const char* text, int low, int high, int& value) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (*end != '\0' || parsed < low || parsed > high) return false;
    value = static_cast<int>(parsed);
    return true;
}

enum ELongOnly : int {
    kOptTargets = 1000,
    kOptJson,
    kOptProgramTries,
    kOptTrace,
    kOptInfo,
    kOptImageInfo,
    kOptChild,
    kOptRecord,
    kOptMac,
};

const option kLongOptions[] = {
    {"port", required_argument, nullptr, 'p'},
    {"targets", required_argument, nullptr, kOptTargets},
    {"jobs", required_argument, nullptr, 'j'},
    {"reset-defaults", no_argument, nullptr, 'r'},
    {"extended-timeout", no_argument, nullptr, 'e'},
    {"attempts", required_argument, nullptr, 'a'},
    {"program-tries", required_argument, nullptr, kOptProgramTries},
    {"json", no_argument, nullptr, kOptJson},
    {"quiet", no_argument, nullptr, 'q'},
    {"verbose", no_argument, nullptr, 'v'},
    {"trace", required_argument, nullptr, kOptTrace},
    {"info", no_argument, nullptr, kOptInfo},
    {"image-info", no_argument, nullptr, kOptImageInfo},
    {"record", required_argument, nullptr, kOptRecord},
    {"mac", required_argument, nullptr, kOptMac},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    // How a quillon-flash of many units starts each of them; not for users.
    {"child-start-ns", required_argument, nullptr, kOptChild},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

bool ParseFlashOptions(int argc, const char* const* argv, CFlashOptions& options,
                       std::string& error) {
    // getopt_long permutes its argv; it gets a copy.
    std::vector<std::string> copies(argv, argv + argc);
    std::vector<char*> args;
    for (std::string& a : copies) args.push_back(a.data());
    args.push_back(nullptr);

    bool info = false, imageInfo = false, portGiven = false, networkGiven = false;
    std::vector<std::string> positional;
    std::vector<int> positions;  // of each in argv
    opterr = 0;
    optind = 0;  // a fresh scan on every call
    for (;;) {
        // "-": arguments that are not options come back in order, so that their positions are
        // known and a repeated target can be named by them.
        const int c = getopt_long(argc, args.data(), "-:p:j:rea:qvhV", kLongOptions, nullptr);
        if (c == -1) break;
        switch (c) {
            case 1:
                positional.push_back(optarg);
                positions.push_back(optind - 1);
                break;
            case 'p':
                if (!ParsePortText(optarg, options.port)) {
                    error = FlashText::kPortNeedsNumber;
                    return false;
                }
                portGiven = true;
                break;
            case kOptTargets:
                options.targetsFile = optarg;
                break;
            case 'j':
                if (!ParseCount(optarg, 1, kMostJobs, options.jobs)) {
                    error = FlashText::kJobsNeedsNumber;
                    return false;
                }
                break;
            case 'r':
                options.resetDefaults = true;
                networkGiven = true;
                break;
            case 'e':
                options.extendedTimeout = true;
                networkGiven = true;
                break;
            case 'a':
                if (!ParseCount(optarg, 1, 100, options.attempts)) {
                    error = FlashText::kAttemptsNeedsNumber;
                    return false;
                }
                break;
            case kOptProgramTries: {
                int tries = 0;
                if (!ParseCount(optarg, 1, 100, tries)) {
                    error = FlashText::kProgramTriesNeedsNumber;
                    return false;
                }
                options.programTries = static_cast<uint16_t>(tries);
                break;
            }
            case kOptJson:
                options.json = true;
                break;
            case 'q':
                options.quiet = true;
                break;
            case 'v':
                options.verbose = true;
                break;
            case kOptTrace:
                options.traceFile = optarg;
                break;
            case kOptInfo:
                info = true;
                break;
            case kOptImageInfo:
                imageInfo = true;
                break;
            case kOptRecord:
                if (*optarg == '\0') {
                    error = "--record needs a SQLite file or a postgresql:// URL";
                    return false;
                }
                options.recordTarget = optarg;
                break;
            case kOptMac:
                options.mac = optarg;
                break;
            case 'h':
                options.mode = EFlashMode::kHelp;
                return true;
            case 'V':
                options.mode = EFlashMode::kVersion;
                return true;
            case kOptChild: {
                char* end = nullptr;
                options.childStartNs = std::strtoll(optarg, &end, 10);
                if (*end != '\0' || options.childStartNs < 0) {
                    error = FlashText::kBadChildStart;
                    return false;
                }
                break;
            }
            case ':':
                error = FlashText::OptionNeedsValue(args[static_cast<size_t>(optind) - 1]);
                return false;
            default:
                error = FlashText::UnknownOption(args[static_cast<size_t>(optind) - 1]);
                return false;
        }
    }
    // After "--" the rest is left where it stands.
    for (int i = optind; i < argc; ++i) {
        positional.push_back(args[static_cast<size_t>(i)]);
        positions.push_back(i);
    }

    if (info && imageInfo) {
        error = FlashText::kInfoExcludesImageInfo;
        return false;
    }
    if ((info || imageInfo) && !options.recordTarget.empty()) {
        error = FlashText::kRecordNotForInfo;
        return false;
    }
    if (!options.mac.empty() && options.recordTarget.empty()) {
        error = FlashText::kMacNeedsRecord;
        return false;
    }
    if (imageInfo) {
        if (positional.size() != 1 || portGiven || networkGiven) {
            error = FlashText::kImageInfoArguments;
            return false;
        }
        options.mode = EFlashMode::kImageInfo;
        options.firmware = positional[0];
        return true;
    }
    if (info) {
        if (positional.size() != 1 || !options.targetsFile.empty()) {
            error = FlashText::kInfoArguments;
            return false;
        }
        if (options.resetDefaults) {
            error = FlashText::kResetNeedsFirmware;
            return false;
        }
    } else {
        if (positional.empty() || (positional.size() < 2 && options.targetsFile.empty())) {
            error = FlashText::kTargetsAndFirmwareNeeded;
            return false;
        }
        options.firmware = positional.back();
        positional.pop_back();
    }
    for (size_t i = 0; i < positional.size(); ++i) {
        const std::string& text = positional[i];
        CTarget target;
        if (!ParseTarget(text, target)) {
            error = FlashText::NotATarget(text);
            return false;
        }
        target.place = FlashText::ArgumentPlace(positions[i]);
        options.targets.push_back(target);
    }
    if (!options.targetsFile.empty() &&
        !ReadTargetsFile(options.targetsFile, options.targets, error))
        return false;
    if (options.targets.empty()) {
        error = FlashText::NoTargetIn(options.targetsFile);
        return false;
    }
    error = RepeatedTarget(options.targets, options.port);
    if (!error.empty()) return false;
    if (!options.mac.empty() && options.targets.size() != 1) {
        error = FlashText::kMacNeedsOneTarget;
        return false;
    }
    options.mode = info ? EFlashMode::kInfo : EFlashMode::kFlash;
    return true;
}
