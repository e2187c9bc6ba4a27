// SPDX-License-Identifier: Apache-2.0
#include "watch/WatchOptions.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

const char* const kWatchUsage =
    "usage: pellisk-watch [--json] [--once SECONDS] [--mac TEXT] [--port N]\n"
    "       pellisk-watch -h | --help | -V | --version\n";

const char* const kWatchHelp =
    "Lists the units that announce themselves on UDP port 30303, as the Pellisk window does,\n"
    "and prints a line whenever the list changes:\n"
    "\n"
    "  +  a unit heard for the first time\n"
    "  =  a listed unit's name, address or message changed\n"
    "  -  a unit removed, about seven seconds after its last announce\n"
    "\n"
    "followed by the unit's name, MAC, IP address and message, separated by tabs. Text is\n"
    "UTF-8; control characters in a field show as U+FFFD.\n"
    "\n"
    "  --json          one JSON object per line instead, with \"event\" (\"appear\", \"update\"\n"
    "                  or \"remove\"), \"name\", \"mac\", \"ip\" and \"message\"; each byte of a\n"
    "                  field is the character of the same number (\\u0000 to \\u00ff)\n"
    "  --once SECONDS  listen that long, then print the units listed, one line each (name,\n"
    "                  MAC, IP address, message; with --json, objects without \"event\")\n"
    "  --mac TEXT      only units whose MAC contains TEXT, ignoring case and the separators\n"
    "                  ':', '-' and '.' (00:04:a3 finds 00-04-A3-12-34-56)\n"
    "  --port N        listen on UDP port N instead of 30303\n"
    "  -V, --version   print the version\n"
    "  -h, --help      this text\n"
    "\n"
    "SIGINT and SIGTERM end it. Exit status: 0 done, 4 the port could not be listened on,\n"
    "64 usage error.\n";

const char* WatchVersionLine() {
    return "pellisk-watch " PELLISK_VERSION;
}

namespace {

bool ParsePort(const char* text, uint16_t* port) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1 || value > 65535) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

bool ParseSeconds(const char* text, double* seconds) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    // A day is plenty for a snapshot; no hexadecimal, infinity or NaN.
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(value) || value < 0 ||
        value > 86400) {
        return false;
    }
    for (const char* c = text; c != end; ++c) {
        if ((*c < '0' || *c > '9') && *c != '.') return false;
    }
    *seconds = value;
    return true;
}

}  // namespace

bool ParseWatchOptions(int argc, char** argv, CWatchOptions* options, std::string* error) {
    enum { kJson = 1, kOnce, kMac, kPort, kHelp = 'h', kVersion = 'V' };
    static const option kLong[] = {
        {"json", no_argument, nullptr, kJson},
        {"once", required_argument, nullptr, kOnce},
        {"mac", required_argument, nullptr, kMac},
        {"port", required_argument, nullptr, kPort},
        {"help", no_argument, nullptr, kHelp},
        {"version", no_argument, nullptr, kVersion},
        {nullptr, 0, nullptr, 0},
    };
    *options = CWatchOptions();
    optind = 0;  // a fresh scan on every call
    opterr = 0;
    for (;;) {
        const int choice = ::getopt_long(argc, argv, "+:hV", kLong, nullptr);
        if (choice == -1) break;
        switch (choice) {
            case kJson:
                options->json = true;
                break;
            case kOnce:
                if (!ParseSeconds(optarg, &options->onceSeconds)) {
                    *error =
                        std::string("--once needs a number of seconds from 0 to 86400, not '") +
                        optarg + "'";
                    return false;
                }
                options->once = true;
                break;
            case kMac:
                options->mac = optarg;
                break;
            case kPort:
                if (!ParsePort(optarg, &options->port)) {
                    *error =
                        std::string("--port needs a number from 1 to 65535, not '") + optarg + "'";
                    return false;
                }
                break;
            case kHelp:
                options->help = true;
                break;
            case kVersion:
                options->version = true;
                break;
            case ':':
                *error = std::string("option '") + argv[optind - 1] + "' needs a value";
                return false;
            default:
                *error = std::string("unknown option '") + argv[optind - 1] + "'";
                return false;
        }
    }
    if (optind < argc) {
        *error = std::string("unexpected argument '") + argv[optind] + "'";
        return false;
    }
    return true;
}
