// SPDX-License-Identifier: Apache-2.0
#include "core/AnnounceParser.h"

namespace {

constexpr std::string_view kCrLf = "\r\n";

}  // namespace

bool SplitAnnounce(std::string_view text, CAnnounceFields* fields) {
    if (text.size() < kMinAnnounceLength) return false;
    const std::size_t first = text.find(kCrLf);
    if (first == std::string_view::npos) return false;
    const std::size_t macStart = first + kCrLf.size();
    const std::size_t second = text.find(kCrLf, macStart);
    if (second == std::string_view::npos) return false;
    const std::size_t messageStart = second + kCrLf.size();
    const std::size_t third = text.find(kCrLf, messageStart);
    fields->name = text.substr(0, first);
    fields->mac = text.substr(macStart, second - macStart);
    fields->message = third == std::string_view::npos
                          ? text.substr(messageStart)
                          : text.substr(messageStart, third - messageStart);
    return true;
}
