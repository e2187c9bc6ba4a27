// SPDX-License-Identifier: Apache-2.0
#include "StationOptions.h"

#include <getopt.h>

#include <QSysInfo>
#include <string>
#include <vector>

const char* const kStationUsage = "usage: quillon-station [options] (--mac TEXT|--name GLOB|--any) FIRMWARE.hex\n";

QString StationHelp() {
    return QStringLiteral(
        "Flashes every unit that announces itself on the line, exactly once: it listens for\n"
        "announces, and for each unit that matches the filter and has no verified record for\n"
        "this firmware it runs quillon-flash against the announce's source address. Each ended\n"
        "flash is a row of the record (SQLite by default, or a PostgreSQL shared by stations).\n"
        "\n"
        "Filter (one is needed, or --any):\n"
        "      --mac TEXT           the MAC starts with TEXT, ignoring case and ':', '-', '.';\n"
        "                           repeatable\n"
        "      --name GLOB          shell-style match on the announced name\n"
        "      --any                flash every unit heard (never on a shared network)\n"
        "Line:\n"
        "      --announce-port N    listen for announces on UDP port N (default 30303)\n"
        "  -p, --port N             the units' bootloader port (default 69)\n"
        "  -j, --jobs N             flash at most N units at once (default 8, at most 64)\n"
        "      --retry-after S      try a failed unit again at its next announce, S seconds or\n"
        "                           more after its failure (default 30)\n"
        "      --max-failures N     after N failures with this firmware leave the unit alone,\n"
        "                           shown as needing attention (default 3)\n"
        "      --retry-failed       forget the failures of earlier runs\n"
        "Passed on to quillon-flash:\n"
        "  -a, --attempts N, --program-tries N, -r, --reset-defaults, -e, --extended-timeout\n"
        "Record:\n"
        "      --station NAME       the station's name in the record (default the host name)\n"
        "      --db PATH|URL        a SQLite file, or postgresql://... (default\n"
        "                           $STATE_DIRECTORY/records.sqlite, else\n"
        "                           $XDG_STATE_HOME/quillon/records.sqlite)\n"
        "      --lease S            a claim on a unit lasts S seconds unless renewed (default 120)\n"
        "Output and page:\n"
        "      --json               JSON Lines on stdout, one object per event\n"
        "      --http ADDR:PORT     the live page (default 127.0.0.1:8080); 'off' for none\n"
        "      --http-token-file F  the token every request must carry; needed beyond loopback\n"
        "      --flasher PATH       the quillon-flash to run (default: beside quillon-station,\n"
        "                           else on PATH)\n"
        "  -h, --help               this text\n"
        "  -V, --version            the program's name and version\n"
        "\n"
        "SIGHUP checks the firmware file again and uses it for the units that start after that;\n"
        "a file that fails the check is refused and the old one stays in force. SIGINT or\n"
        "SIGTERM start nothing new, interrupt the flashes in progress, record each, and exit.\n"
        "\n"
        "Exit status: 0 only for --help and --version (it runs until stopped); 1 the record,\n"
        "the listener or the page could not open; 3 the firmware file was refused at start; 64\n"
        "usage error; 130 or 143 stopped by SIGINT or SIGTERM.\n");
}

namespace {

bool ParseNumber(const char* text, long low, long high, long& value) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (*end != '\0' || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

template <typename T>
bool Number(const char* text, long low, long high, T& out) {
    long value = 0;
    if (!ParseNumber(text, low, high, value)) return false;
    out = static_cast<T>(value);
    return true;
}

enum ELongOnly : int {
    kOptMac = 1000,
    kOptName,
    kOptAny,
    kOptAnnouncePort,
    kOptRetryAfter,
    kOptMaxFailures,
    kOptRetryFailed,
    kOptProgramTries,
    kOptJson,
    kOptStation,
    kOptDb,
    kOptLease,
    kOptHttp,
    kOptHttpToken,
    kOptFlasher,
};

const option kLongOptions[] = {
    {"mac", required_argument, nullptr, kOptMac},
    {"name", required_argument, nullptr, kOptName},
    {"any", no_argument, nullptr, kOptAny},
    {"announce-port", required_argument, nullptr, kOptAnnouncePort},
    {"port", required_argument, nullptr, 'p'},
    {"jobs", required_argument, nullptr, 'j'},
    {"retry-after", required_argument, nullptr, kOptRetryAfter},
    {"max-failures", required_argument, nullptr, kOptMaxFailures},
    {"retry-failed", no_argument, nullptr, kOptRetryFailed},
    {"attempts", required_argument, nullptr, 'a'},
    {"program-tries", required_argument, nullptr, kOptProgramTries},
    {"reset-defaults", no_argument, nullptr, 'r'},
    {"extended-timeout", no_argument, nullptr, 'e'},
    {"json", no_argument, nullptr, kOptJson},
    {"station", required_argument, nullptr, kOptStation},
    {"db", required_argument, nullptr, kOptDb},
    {"lease", required_argument, nullptr, kOptLease},
    {"http", required_argument, nullptr, kOptHttp},
    {"http-token-file", required_argument, nullptr, kOptHttpToken},
    {"flasher", required_argument, nullptr, kOptFlasher},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

bool ParseStationOptions(int argc, const char* const* argv, CStationOptions& options,
                         QString& error) {
    // getopt_long permutes its argv; it gets a copy.
    std::vector<std::string> copies(argv, argv + argc);
    std::vector<char*> args;
    for (std::string& a : copies) args.push_back(a.data());
    args.push_back(nullptr);

    opterr = 0;
    optind = 0;  // a fresh scan on every call
    for (;;) {
        const int c = getopt_long(argc, args.data(), ":p:j:a:rehV", kLongOptions, nullptr);
        if (c == -1) break;
        const QString value = optarg ? QString::fromLocal8Bit(optarg) : QString();
        auto fail = [&](const char* text) {
            error = QString::fromLatin1(text);
            return false;
        };
        switch (c) {
            case kOptMac:
                if (value.isEmpty()) return fail("--mac needs some text");
                options.macs << value;
                break;
            case kOptName:
                if (value.isEmpty()) return fail("--name needs a pattern");
                options.nameGlob = value;
                break;
            case kOptAny:
                options.any = true;
                break;
            case kOptAnnouncePort:
                if (!Number(optarg, 0, 65535, options.announcePort))
                    return fail("--announce-port needs a number from 0 to 65535");
                break;
            case 'p':
                if (!Number(optarg, 1, 65535, options.port))
                    return fail("--port needs a number from 1 to 65535");
                break;
            case 'j':
                if (!Number(optarg, 1, 64, options.jobs))
                    return fail("--jobs needs a number from 1 to 64");
                break;
            case kOptRetryAfter:
                if (!Number(optarg, 0, 86400 * 365, options.retryAfterSeconds))
                    return fail("--retry-after needs a number of seconds");
                break;
            case kOptMaxFailures:
                if (!Number(optarg, 1, 1000, options.maxFailures))
                    return fail("--max-failures needs a number from 1 to 1000");
                break;
            case kOptRetryFailed:
                options.retryFailed = true;
                break;
            case 'a':
                if (!Number(optarg, 1, 100, options.attempts))
                    return fail("--attempts needs a number from 1 to 100");
                break;
            case kOptProgramTries:
                if (!Number(optarg, 1, 100, options.programTries))
                    return fail("--program-tries needs a number from 1 to 100");
                break;
            case 'r':
                options.resetDefaults = true;
                break;
            case 'e':
                options.extendedTimeout = true;
                break;
            case kOptJson:
                options.json = true;
                break;
            case kOptStation:
                if (value.trimmed().isEmpty()) return fail("--station needs a name");
                options.station = value;
                break;
            case kOptDb:
                if (value.isEmpty()) return fail("--db needs a path or a postgresql:// URL");
                options.db = value;
                break;
            case kOptLease:
                if (!Number(optarg, 3, 86400, options.leaseSeconds))
                    return fail("--lease needs a number of seconds from 3 to 86400");
                break;
            case kOptHttp:
                options.http = value;
                break;
            case kOptHttpToken:
                options.httpTokenFile = value;
                break;
            case kOptFlasher:
                options.flasher = value;
                break;
            case 'h':
                options.mode = EStationMode::kHelp;
                return true;
            case 'V':
                options.mode = EStationMode::kVersion;
                return true;
            case ':':
                error = QStringLiteral("option %1 needs a value")
                            .arg(QString::fromLocal8Bit(args[static_cast<size_t>(optind) - 1]));
                return false;
            default:
                error = QStringLiteral("unknown option %1")
                            .arg(QString::fromLocal8Bit(args[static_cast<size_t>(optind) - 1]));
                return false;
        }
    }
    const std::vector<std::string> positional(args.begin() + optind, args.end() - 1);
    if (positional.size() != 1) {
        error = QStringLiteral("one firmware file is needed");
        return false;
    }
    options.firmware = QString::fromLocal8Bit(positional[0].c_str());
    if (!options.HasFilter() && !options.any) {
        error = QStringLiteral(
            "no filter: give --mac or --name, or --any to flash every unit heard on this network");
        return false;
    }
    // The page's own rules: an address literal, and a token beyond loopback.
    if (!ParseHttpListen(options.http, options.web, error)) return false;
    if (HttpTokenRequired(options.web) && options.httpTokenFile.isEmpty()) {
        error = QStringLiteral("--http %1 listens beyond loopback: give --http-token-file FILE")
                    .arg(options.http);
        return false;
    }
    if (options.station.isEmpty()) options.station = QSysInfo::machineHostName();
    if (options.station.isEmpty()) options.station = QStringLiteral("station");
    return true;
}
