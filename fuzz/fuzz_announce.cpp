// SPDX-License-Identifier: Apache-2.0
// Arbitrary datagrams through the announce acceptance and split, with the field invariants checked,
// and the accepted fields through pellisk-watch's line and JSON formats.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/AnnounceParser.h"
#include "core/DisplayText.h"
#include "core/DottedQuad.h"
#include "watch/EventFormat.h"

namespace {

volatile std::size_t g_observed = 0;

bool Inside(std::string_view part, std::string_view whole) {
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

std::size_t Count(std::string_view text, char c) {
    std::size_t count = 0;
    for (const char x : text) count += x == c;
    return count;
}

// Whatever the bytes, a watcher line keeps its five columns and JSON stays printable ASCII with
// no raw quotes but the 20 around its five keys and values.
void CheckWatchLines(const CAnnounceFields& fields) {
    static std::string line;  // reused: one allocation for the whole run
    CDeviceRow row;
    row.text = fields.name;
    row.subItems[0] = fields.mac;
    row.subItems[1] = "127.0.0.1";
    row.subItems[2] = fields.message;
    line.clear();
    AppendEventLine(EWatchEvent::kAppear, row, false, &line);
    Check(Count(line, '\t') == 4 && Count(line, '\n') == 1 && line.back() == '\n');
    line.clear();
    AppendEventLine(EWatchEvent::kUpdate, row, true, &line);
    std::size_t quotes = 0;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        Check(c >= 0x20 && c < 0x7F);
        if (c == '\\') {
            ++i;  // the escaped character
        } else if (c == '"') {
            ++quotes;
        }
    }
    Check(quotes == 20 && line.back() == '\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CAnnounceFields fields;
    const bool accepted = SplitAnnounce(text, &fields);

    std::size_t separators = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string_view::npos && separators < 2;
         at = text.find("\r\n", at + 2)) {
        ++separators;
    }
    Check(accepted == (size >= kMinAnnounceLength && separators == 2));
    if (accepted) {
        Check(fields.name.data() == text.data());
        Check(Inside(fields.name, text) && Inside(fields.mac, text) &&
              Inside(fields.message, text));
        Check(fields.name.find("\r\n") == std::string_view::npos);
        Check(fields.mac.find("\r\n") == std::string_view::npos);
        Check(fields.message.find("\r\n") == std::string_view::npos);
        Check(fields.mac.data() == fields.name.data() + fields.name.size() + 2);
        Check(fields.message.data() == fields.mac.data() + fields.mac.size() + 2);
        Check(EqualIgnoringAsciiCase(fields.mac, fields.mac));
        char32_t shown = 0;
        for (const char byte : fields.message)
            shown ^= DisplayCodePoint(static_cast<unsigned char>(byte));
        g_observed = g_observed + fields.name.size() + fields.mac.size() + shown;
        CheckWatchLines(fields);
    }
    uint32_t address = 0;
    std::memcpy(&address, data, size < sizeof address ? size : sizeof address);
    char dotted[kDottedQuadSize];
    const int length = FormatDottedQuad(address, dotted);
    Check(length >= 7 && length <= 15 && dotted[length] == '\0');
    g_observed = g_observed + static_cast<std::size_t>(length);
    return 0;
}
