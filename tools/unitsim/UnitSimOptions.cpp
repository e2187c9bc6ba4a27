// SPDX-License-Identifier: Apache-2.0
#include "UnitSimOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

static_assert(kMaxLineUnits == 128, "the usage text and messages name the limit");

bool ParseUnsigned(const char* text, unsigned long max, unsigned long& value) {
    if (!text || !*text || *text == '-' || *text == '+') return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoul(text, &end, 10);
    return errno == 0 && *end == '\0' && value <= max;
}

bool ParseProbability(const char* text, double& value) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text, &end);
    return errno == 0 && *end == '\0' && std::isfinite(value) && value >= 0 && value <= 1;
}

// "1.04" is major 1, minor 4: the minor part is a number, leading zeros and all.
bool ParseVersion(const char* text, uint8_t& major, uint8_t& minor) {
    const char* dot = text ? std::strchr(text, '.') : nullptr;
    if (!dot) return false;
    const std::string majorText(text, dot);
    unsigned long ma = 0, mi = 0;
    if (!ParseUnsigned(majorText.c_str(), 255, ma) || !ParseUnsigned(dot + 1, 255, mi))
        return false;
    major = static_cast<uint8_t>(ma);
    minor = static_cast<uint8_t>(mi);
    return true;
}

bool ParseDelay(const char* text, double& probability, int& ms) {
    const char* colon = text ? std::strchr(text, ':') : nullptr;
    if (!colon) return false;
    const std::string p(text, colon);
    unsigned long value = 0;
    if (!ParseProbability(p.c_str(), probability) || !ParseUnsigned(colon + 1, 600000, value)) {
        return false;
    }
    ms = static_cast<int>(value);
    return true;
}

}  // namespace

const char* UnitSimUsage() {
    return "usage: quillon-unitsim [options]\n"
           "A simulated unit, or a line of them: bootloader on UDP and announcer.\n"
           "  --units N                 N units on N consecutive ports (default 1, at most 128);\n"
           "                            one \"bootloader on\" line each, first port first\n"
           "  --bind ADDR               bootloader address (default 127.0.0.1)\n"
           "  --addresses FIRST         a line on one network: unit i answers at FIRST + i\n"
           "                            (127.0.0.2, 127.0.0.3, ...) on the one --port, and\n"
           "                            announces from there\n"
           "  --join-every MS           unit i starts announcing i x MS after the start\n"
           "  --restart-ms MS           after the exit command a unit restarts: no announce for\n"
           "                            MS (default 500), then \"Running firmware CRC XXXX\"\n"
           "  --port N                  first bootloader port (default 6969); 0 picks a run of\n"
           "                            free consecutive ports, or fails saying so\n"
           "  --name TEXT               name in the read-version reply and the announces\n"
           "                            (default none; announces say \"Tolvane Unit\"); with\n"
           "                            several units: TEXT-1 to TEXT-N\n"
           "  --mac TEXT                MAC text of the announces; with several units six hex\n"
           "                            octets, unit i (from 0) announcing it plus i\n"
           "  --bootloader-version MAJOR.MINOR\n"
           "                            bootloader version (default 1.04; below 1.04 the\n"
           "                            reset-to-defaults command goes unanswered); also\n"
           "                            --version MAJOR.MINOR\n"
           "  --no-wakeup-needed        answer Frames before the first wake-up datagram\n"
           "  --erase-ms MS             the erase reply comes MS later (default 0)\n"
           "  --program-us-per-byte US  a programming reply comes data bytes x US later\n"
           "  --announce-interval MS    announce period (default 2000; 0 = no announces)\n"
           "  --announce-port N         announce target port (default 30303)\n"
           "  --announce-address ADDR   announce target address (default 127.0.0.1)\n"
           "  --message TEXT            announce message (default \"Bootloader on UDP port "
           "<port>\")\n"
           "  --drop-request P          probability of losing a request\n"
           "  --drop-reply P            probability of losing a reply\n"
           "  --duplicate-reply P       probability of sending a reply twice\n"
           "  --corrupt-request P       probability of a flipped byte in a request\n"
           "  --corrupt-reply P         probability of a flipped byte in a reply\n"
           "  --delay-reply P:MS        probability and delay of a late reply\n"
           "  --silent                  log requests, never answer\n"
           "  --seed N                  fault seed (default 1)\n"
           "  --quiet                   no line per request\n"
           "  -h, --help                this text\n"
           "  -V, --version             the program's name and version\n";
}

const char* UnitSimVersionLine() {
    return "quillon-unitsim " QUILLON_VERSION;
}

bool ParseUnitSimOptions(int argc, const char* const* argv, CUnitSimOptions& options,
                         std::string& error) {
    options.sim.log = true;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto bad = [&](const char* what) {
            error =
                option + (value ? " \"" + std::string(value) + "\"" : std::string()) + ": " + what;
            return false;
        };
        auto needsValue = [&]() {
            if (value) {
                ++i;
                return true;
            }
            error = option + ": missing value";
            return false;
        };
        unsigned long number = 0;
        CFaultConfig& faults = options.sim.faults;

        if (option == "--help" || option == "-h") {
            options.help = true;
        } else if (option == "--silent") {
            faults.silent = true;
        } else if (option == "--no-wakeup-needed") {
            options.sim.wakeupNeeded = false;
        } else if (option == "--units") {
            if (!needsValue()) return false;
            if (!ParseUnsigned(value, kMaxLineUnits, number) || number == 0) {
                return bad("expects 1 to 128 units");
            }
            options.units = number;
        } else if (option == "--erase-ms") {
            if (!needsValue()) return false;
            if (!ParseUnsigned(value, 600000, number)) return bad("expects milliseconds");
            options.sim.eraseMs = static_cast<uint32_t>(number);
        } else if (option == "--program-us-per-byte") {
            if (!needsValue()) return false;
            if (!ParseUnsigned(value, 100000, number)) return bad("expects microseconds");
            options.sim.programUsPerByte = static_cast<uint32_t>(number);
        } else if (option == "--quiet") {
            options.sim.log = false;
        } else if (option == "--addresses") {
            if (!needsValue()) return false;
            options.firstAddress = value;
        } else if (option == "--join-every" || option == "--restart-ms") {
            if (!needsValue()) return false;
            if (!ParseUnsigned(value, 600000, number)) return bad("expects milliseconds");
            (option == "--join-every" ? options.joinEveryMs : options.restartMs) =
                static_cast<int>(number);
        } else if (option == "--bind") {
            if (!needsValue()) return false;
            options.sim.bindAddress = value;
        } else if (option == "--port") {
            if (!needsValue()) return false;
            if (!ParseUnsigned(value, 65535, number)) return bad("expects a port 0 to 65535");
            options.sim.port = static_cast<uint16_t>(number);
        } else if (option == "--name") {
            if (!needsValue()) return false;
            options.sim.name = value;
        } else if (option == "--mac") {
            if (!needsValue()) return false;
            options.announce.mac = value;
        } else if (option == "-V" || (option == "--version" && (!value || value[0] == '-'))) {
            // Alone it asks for the program's version; with a value it is the older spelling
            // of --bootloader-version, kept for existing scripts. -V never takes a value.
            options.version = true;
        } else if (option == "--bootloader-version" || option == "--version") {
            if (!needsValue()) return false;
            if (!ParseVersion(value, options.sim.major, options.sim.minor)) {
                return bad("expects MAJOR.MINOR, each 0 to 255, e.g. 1.04");
            }
        } else if (option == "--announce-interval") {
            if (!needsValue()) return false;
            if (!ParseUnsigned(value, 3600000, number)) return bad("expects milliseconds");
            options.announce.intervalMs = static_cast<int>(number);
        } else if (option == "--announce-port") {
            if (!needsValue()) return false;
            if (!ParseUnsigned(value, 65535, number) || number == 0) {
                return bad("expects a port 1 to 65535");
            }
            options.announce.targetPort = static_cast<uint16_t>(number);
        } else if (option == "--announce-address") {
            if (!needsValue()) return false;
            options.announce.targetAddress = value;
        } else if (option == "--message") {
            if (!needsValue()) return false;
            options.announce.message = value;
            options.messageGiven = true;
        } else if (option == "--seed") {
            if (!needsValue()) return false;
            if (!ParseUnsigned(value, 0xFFFFFFFFul, number)) return bad("expects a number");
            faults.seed = static_cast<uint32_t>(number);
        } else if (option == "--delay-reply") {
            if (!needsValue()) return false;
            if (!ParseDelay(value, faults.delayReply, faults.delayReplyMs)) {
                return bad("expects P:MS, e.g. 0.5:300");
            }
        } else {
            double* probability = nullptr;
            if (option == "--drop-request") probability = &faults.dropRequest;
            if (option == "--drop-reply") probability = &faults.dropReply;
            if (option == "--duplicate-reply") probability = &faults.duplicateReply;
            if (option == "--corrupt-request") probability = &faults.corruptRequest;
            if (option == "--corrupt-reply") probability = &faults.corruptReply;
            if (!probability) {
                error = option + ": unknown option (see --help)";
                return false;
            }
            if (!needsValue()) return false;
            if (!ParseProbability(value, *probability)) return bad("expects a probability 0 to 1");
        }
    }
    return true;
}
