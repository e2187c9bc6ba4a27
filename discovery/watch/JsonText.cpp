// SPDX-License-Identifier: Apache-2.0
#include "watch/JsonText.h"

void AppendJsonString(std::string_view bytes, std::string* out) {
    static constexpr char kHex[] = "0123456789abcdef";
    out->push_back('"');
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
            case '"':
                out->append("\\\"");
                continue;
            case '\\':
                out->append("\\\\");
                continue;
            case '\n':
                out->append("\\n");
                continue;
            case '\r':
                out->append("\\r");
                continue;
            case '\t':
                out->append("\\t");
                continue;
            case '\b':
                out->append("\\b");
                continue;
            case '\f':
                out->append("\\f");
                continue;
            default:
                break;
        }
        if (byte >= 0x20 && byte < 0x7F) {
            out->push_back(c);
        } else {
            out->append("\\u00");
            out->push_back(kHex[byte >> 4]);
            out->push_back(kHex[byte & 0x0F]);
        }
    }
    out->push_back('"');
}
