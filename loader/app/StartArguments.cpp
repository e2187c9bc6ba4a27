// SPDX-License-Identifier: Apache-2.0
#include "StartArguments.h"

#include <arpa/inet.h>

const char* const kQuillonUsage =
    "usage: quillon [ADDRESS[:PORT]]\n"
    "       quillon -h | --help | -V | --version\n";

const char* const kQuillonHelp =
    "usage: quillon [ADDRESS[:PORT]]\n"
    "Opens the Quillon dialog, which replaces the firmware of a networked unit whose\n"
    "bootloader answers over UDP: Connect, Load Firmware, Flash Firmware. ADDRESS (dotted\n"
    "decimal) and PORT (1 to 65535) fill the address and port boxes, which otherwise start\n"
    "at 192.168.1.200 and 69; nothing is sent until Connect is pressed. quillon-flash runs\n"
    "the same sequence from a script.\n"
    "\n"
    "  -h, --help     this text\n"
    "  -V, --version  the program's name and version\n"
    "\n"
    "Exit status 64: a bad argument. See quillon(1).\n";

namespace {

// Plain decimal digits only: no sign, no blanks, no leading "0x".
bool ParsePort(const std::string& text, uint32_t* port) {
    if (text.empty() || text.size() > 5) return false;
    uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value < 1 || value > 65535) return false;
    *port = value;
    return true;
}

}  // namespace

CStartTarget DefaultStartTarget() {
    return {ntohl(inet_addr("192.168.1.200")), 69};
}

EPrintOption FindPrintOption(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "-h" || arg == "--help") return EPrintOption::kHelp;
        if (arg == "-V" || arg == "--version") return EPrintOption::kVersion;
    }
    return EPrintOption::kNone;
}

bool ParseStartArguments(const std::vector<std::string>& args, CStartTarget* start,
                         std::string* error) {
    if (args.empty()) return true;
    const std::string& text = args[0];
    if (args.size() > 1) {
        *error = "one ADDRESS[:PORT] at most, not also " + args[1];
        return false;
    }
    if (text.size() > 1 && text[0] == '-') {
        *error = "unknown option " + text;
        return false;
    }
    CStartTarget parsed = *start;
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos && !ParsePort(text.substr(colon + 1), &parsed.port)) {
        *error = "not a port of 1 to 65535: " + text.substr(colon + 1);
        return false;
    }
    in_addr address{};
    // Only the strict a.b.c.d form: no shorthand, no octal, no hex.
    if (::inet_pton(AF_INET, text.substr(0, colon).c_str(), &address) != 1) {
        *error = "not ADDRESS or ADDRESS:PORT: " + text;
        return false;
    }
    parsed.address = ntohl(address.s_addr);
    *start = parsed;
    return true;
}
