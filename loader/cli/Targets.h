// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One unit to flash: ADDRESS or ADDRESS:PORT, as the user wrote it.
struct CTarget {
    std::string text;         // as given; names the unit in every line and event
    uint8_t address[4] = {};  // first octet first
    uint16_t port = 0;        // 0: none given, the --port value applies
    std::string place;        // where it was given: "argument 2", "line.txt line 7"
};

// Dotted-decimal IPv4 (inet_pton's strict form), optionally ":PORT" with PORT 1 to 65535.
bool ParseTarget(const std::string& text, CTarget& target);
// A port of 1 to 65535 in plain decimal digits.
bool ParsePortText(const std::string& text, uint16_t& port);

// One target per line; '#' starts a comment, blanks around are ignored, empty lines skipped.
// "-" reads standard input. Read with a bound: lines of at most 1,024 bytes, at most 4,096
// targets. False with a reason naming the file and line.
bool ReadTargetsFile(const std::string& path, std::vector<CTarget>& targets, std::string& error);

// The same unit given twice, by address and port after defaults (defaultPort for targets
// without one): the reason naming it and both places; empty when every unit is given once.
std::string RepeatedTarget(const std::vector<CTarget>& targets, uint16_t defaultPort);
