#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One unit to flash: ADDRESS or ADDRESS:PORT, as the user wrote it.
struct CTarget {
    std::string text;         // as given; names the unit in every line and event
    uint8_t address[4] = {};  // first octet first
    uint16_t port = 0;        // 0: none given, the --port value applies
};

// Dotted-decimal IPv4 (inet_pton's strict form), optionally ":PORT" with PORT 1 to 65535.
bool ParseTarget(const std::string& text, CTarget& target);
// A port of 1 to 65535 in plain decimal digits.
bool ParsePortText(const std::string& text, uint16_t& port);

// One target per line; '#' starts a comment, blanks around are ignored, empty lines skipped.
// False with a reason naming the file and line.
bool ReadTargetsFile(const std::string& path, std::vector<CTarget>& targets, std::string& error);
