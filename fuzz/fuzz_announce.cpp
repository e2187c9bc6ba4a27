// Arbitrary datagrams through the announce acceptance and split, with the field invariants checked.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/AnnounceParser.h"
#include "core/DisplayText.h"
#include "core/DottedQuad.h"

namespace {

volatile std::size_t g_observed = 0;

bool Inside(std::string_view part, std::string_view whole) {
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
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
    }
    uint32_t address = 0;
    std::memcpy(&address, data, size < sizeof address ? size : sizeof address);
    char dotted[kDottedQuadSize];
    const int length = FormatDottedQuad(address, dotted);
    Check(length >= 7 && length <= 15 && dotted[length] == '\0');
    g_observed = g_observed + static_cast<std::size_t>(length);
    return 0;
}
