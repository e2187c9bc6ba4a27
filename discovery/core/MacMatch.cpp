// SPDX-License-Identifier: Apache-2.0
#include "core/MacMatch.h"

#include "core/DisplayText.h"

namespace {

bool IsSeparator(char c) {
    return c == ':' || c == '-' || c == '.';
}

std::size_t SkipSeparators(std::string_view text, std::size_t at) {
    while (at < text.size() && IsSeparator(text[at])) ++at;
    return at;
}

// Whether the pattern's characters follow one another in the MAC from mac[at] on.
bool MatchesFrom(std::string_view mac, std::size_t at, std::string_view pattern) {
    std::size_t wanted = SkipSeparators(pattern, 0);
    at = SkipSeparators(mac, at);
    while (wanted < pattern.size()) {
        if (at >= mac.size() || UpperAscii(mac[at]) != UpperAscii(pattern[wanted])) return false;
        wanted = SkipSeparators(pattern, wanted + 1);
        at = SkipSeparators(mac, at + 1);
    }
    return true;
}

}  // namespace

bool MacMatches(std::string_view mac, std::string_view pattern, EMacMatch how) {
    if (how == EMacMatch::kStartsWith) return MatchesFrom(mac, 0, pattern);
    for (std::size_t at = 0; at <= mac.size(); ++at) {
        if (MatchesFrom(mac, at, pattern)) return true;
    }
    return false;
}
