// SPDX-License-Identifier: Apache-2.0
#include "Targets.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "FlashText.h"

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

namespace {

// Reads one line into line, without its "\n" or "\r\n". Never reads more than
// kMostTargetLineBytes + 2 bytes of one line, so that an endless line ends the reading.
enum class ELineRead { kLine, kEnd, kTooLong, kError };
ELineRead ReadLine(std::FILE* in, std::string& line) {
    line.clear();
    for (;;) {
        const int c = std::getc(in);
        if (c == EOF)
            return std::ferror(in) ? ELineRead::kError
                   : line.empty()  ? ELineRead::kEnd
                                   : ELineRead::kLine;
        if (c == '\n') break;
        line.push_back(static_cast<char>(c));
        if (line.size() > static_cast<size_t>(FlashText::kMostTargetLineBytes) + 1)
            return ELineRead::kTooLong;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line.size() > static_cast<size_t>(FlashText::kMostTargetLineBytes) ? ELineRead::kTooLong
                                                                              : ELineRead::kLine;
}

bool ReadTargets(std::FILE* in, const std::string& path, std::vector<CTarget>& targets,
                 std::string& error) {
    struct stat info {};
    if (::fstat(::fileno(in), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = FlashText::CannotReadTargets(path, std::strerror(EISDIR));
        return false;
    }
    int found = 0;
    std::string line;
    for (int number = 1;; ++number) {
        if (number > FlashText::kMostTargetLines) {
            error = FlashText::TooManyTargetLines(path, number);
            return false;
        }
        errno = 0;
        switch (ReadLine(in, line)) {
            case ELineRead::kEnd:
                return true;
            case ELineRead::kError:
                error = FlashText::CannotReadTargets(path, std::strerror(errno ? errno : EIO));
                return false;
            case ELineRead::kTooLong:
                error = FlashText::TargetsLineTooLong(path, number);
                return false;
            case ELineRead::kLine:
                break;
        }
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) continue;
        const size_t last = line.find_last_not_of(" \t\r");
        const std::string text = line.substr(first, last - first + 1);
        if (++found > FlashText::kMostTargets) {
            error = FlashText::TooManyTargets(path, number);
            return false;
        }
        CTarget target;
        if (!ParseTarget(text, target)) {
            error = FlashText::TargetsLineNotATarget(path, number, text);
            return false;
        }
        target.place = FlashText::TargetsLinePlace(path, number);
        targets.push_back(target);
    }
}

}  // namespace

bool ReadTargetsFile(const std::string& path, std::vector<CTarget>& targets, std::string& error) {
    if (path == "-") return ReadTargets(stdin, path, targets, error);
    std::FILE* in = std::fopen(path.c_str(), "re");
    if (in == nullptr) {
        error = FlashText::CannotReadTargets(path, std::strerror(errno));
        return false;
    }
    const bool read = ReadTargets(in, path, targets, error);
    std::fclose(in);
    return read;
}

std::string RepeatedTarget(const std::vector<CTarget>& targets, uint16_t defaultPort) {
    // Few enough (at most 4,096 from a file) for a plain search.
    const auto key = [&](const CTarget& t) {
        uint64_t k = 0;
        for (const uint8_t b : t.address) k = k << 8 | b;
        return k << 16 | (t.port ? t.port : defaultPort);
    };
    std::vector<std::pair<uint64_t, size_t>> keys;
    keys.reserve(targets.size());
    for (size_t i = 0; i < targets.size(); ++i) keys.emplace_back(key(targets[i]), i);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    size_t firstRepeat = targets.size(), earlier = 0;
    for (size_t k = 1; k < keys.size(); ++k) {
        if (keys[k].first != keys[k - 1].first || keys[k].second >= firstRepeat) continue;
        firstRepeat = keys[k].second;
        earlier = keys[k - 1].second;
    }
    if (firstRepeat == targets.size()) return {};
    const CTarget& t = targets[firstRepeat];
    char unit[32];
    std::snprintf(unit, sizeof unit, "%u.%u.%u.%u:%u", t.address[0], t.address[1], t.address[2],
                  t.address[3], static_cast<unsigned>(t.port ? t.port : defaultPort));
    return FlashText::ListedTwice(unit, targets[earlier].place, t.place);
}
