#include "Targets.h"

#include <arpa/inet.h>

#include <cstring>
#include <fstream>

bool ParsePortText(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

bool ParseTarget(const std::string& text, CTarget& target) {
    const size_t colon = text.find(':');
    const std::string address = text.substr(0, colon);
    CTarget parsed;
    parsed.text = text;
    if (colon != std::string::npos && !ParsePortText(text.substr(colon + 1), parsed.port))
        return false;
    in_addr a{};
    // Only the strict a.b.c.d form: no shorthand, no octal, no hex.
    if (::inet_pton(AF_INET, address.c_str(), &a) != 1) return false;
    std::memcpy(parsed.address, &a.s_addr, 4);
    target = parsed;
    return true;
}

bool ReadTargetsFile(const std::string& path, std::vector<CTarget>& targets, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read the targets file " + path;
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) continue;
        const size_t last = line.find_last_not_of(" \t\r");
        const std::string text = line.substr(first, last - first + 1);
        CTarget target;
        if (!ParseTarget(text, target)) {
            error =
                path + " line " + std::to_string(number) + ": not ADDRESS or ADDRESS:PORT: " + text;
            return false;
        }
        targets.push_back(target);
    }
    return true;
}
