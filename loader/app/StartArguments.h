// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Where the dialog's address and port boxes start.
struct CStartTarget {
    uint32_t address = 0;  // first octet in the most significant byte
    uint32_t port = 0;
};

// The boxes' start values when the command line names no unit: 192.168.1.200, port 69.
CStartTarget DefaultStartTarget();

enum class EPrintOption { kNone, kHelp, kVersion };

extern const char* const kQuillonHelp;
extern const char* const kQuillonUsage;

// -h/--help or -V/--version anywhere among the arguments (argv without the program name), the
// first one found; looked for before the window system starts, so that they work without a
// display.
EPrintOption FindPrintOption(const std::vector<std::string>& args);

// The arguments the window system left: none, or one ADDRESS[:PORT] (dotted-decimal IPv4, PORT 1
// to 65535). False with *error one line naming the bad argument; *start is then unchanged.
bool ParseStartArguments(const std::vector<std::string>& args, CStartTarget* start,
                         std::string* error);
