#include "FlashOptions.h"

#include <arpa/inet.h>

#include <cstring>
#include <vector>

const char* const kFlashUsage =
    "usage: quillon-flash [--port N] [--reset-defaults] [--extended-timeout] [--quiet] "
    "ADDRESS FIRMWARE.hex\n"
    "       quillon-flash [--port N] [--extended-timeout] --info ADDRESS\n"
    "       quillon-flash --image-info FIRMWARE.hex\n";

const char* const kFlashHelp =
    "Flashes an Intel HEX firmware file into a unit's bootloader over UDP, exactly as the\n"
    "Quillon dialog does: connect, [reset to defaults,] erase, program, verify by CRC-16, and\n"
    "after a good verification tell the bootloader to exit so that the unit restarts.\n"
    "\n"
    "  ADDRESS             the unit's IPv4 address, dotted decimal (e.g. 10.0.0.7)\n"
    "  --port N            the bootloader's UDP port (default 69)\n"
    "  --reset-defaults    reset the unit's settings first (bootloader 1.04 or later)\n"
    "  --extended-timeout  wake with the extended timing (20 tries, 2 s apart) instead of\n"
    "                      the standard one (24 tries, 333 ms apart)\n"
    "  --quiet             print nothing but errors\n"
    "  --info ADDRESS      connect, print the bootloader's name and version, disconnect\n"
    "  --image-info FILE   print the range and CRC-16 that verification would use, without\n"
    "                      any network\n"
    "  --help              this text\n"
    "\n"
    "The log lines go to stdout, one per line; a progress bar goes to stderr when it is a\n"
    "terminal. After a failure once connected the unit is left in its bootloader, so that\n"
    "the flash can be retried.\n"
    "\n"
    "Exit status: 0 verified (or --info answered, or --image-info done), 1 no response,\n"
    "2 verification failed, 3 firmware file missing or unusable, 4 socket error,\n"
    "5 reset to defaults refused by a bootloader before 1.04, 64 usage error.\n";

namespace {

bool ParseAddress(const std::string& text, uint8_t fields[4]) {
    in_addr a{};
    // inet_pton takes only the strict a.b.c.d form: no shorthand, no octal, no hex.
    if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    std::memcpy(fields, &a.s_addr, 4);
    return true;
}

bool ParsePort(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

bool ParseFlashOptions(int argc, const char* const* argv, CFlashOptions& options,
                       std::string& error) {
    std::vector<std::string> positional;
    bool info = false;
    bool imageInfo = false;
    bool portGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.mode = EFlashMode::kHelp;
            return true;
        } else if (arg == "--port") {
            if (i + 1 >= argc || !ParsePort(argv[i + 1], options.port)) {
                error = "--port needs a number from 1 to 65535";
                return false;
            }
            portGiven = true;
            ++i;
        } else if (arg == "--reset-defaults") {
            options.resetDefaults = true;
        } else if (arg == "--extended-timeout") {
            options.extendedTimeout = true;
        } else if (arg == "--quiet" || arg == "-q") {
            options.quiet = true;
        } else if (arg == "--info") {
            info = true;
        } else if (arg == "--image-info") {
            imageInfo = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            positional.push_back(arg);
        }
    }
    if (info && imageInfo) {
        error = "--info and --image-info exclude each other";
        return false;
    }
    if (imageInfo) {
        if (positional.size() != 1 || portGiven || options.resetDefaults ||
            options.extendedTimeout) {
            error = "--image-info takes one firmware file and no network options";
            return false;
        }
        options.mode = EFlashMode::kImageInfo;
        options.firmware = positional[0];
        return true;
    }
    const size_t wanted = info ? 1 : 2;
    if (positional.size() != wanted) {
        error = info ? "--info takes one address" : "an address and a firmware file are needed";
        return false;
    }
    if (info && options.resetDefaults) {
        error = "--reset-defaults needs a firmware file to flash";
        return false;
    }
    options.addressText = positional[0];
    if (!ParseAddress(positional[0], options.address)) {
        error = "not an IPv4 address in dotted decimal: " + positional[0];
        return false;
    }
    options.mode = info ? EFlashMode::kInfo : EFlashMode::kFlash;
    if (!info) options.firmware = positional[1];
    return true;
}
