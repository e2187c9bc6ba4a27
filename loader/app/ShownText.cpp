// SPDX-License-Identifier: Apache-2.0
#include "ShownText.h"

#include <cstdint>

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// Length of the valid UTF-8 sequence at p (2 to 4) and its code point, or 0.
size_t Utf8Sequence(const unsigned char* p, size_t left, uint32_t& cp) {
    const unsigned char c = p[0];
    size_t n = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0Fu;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07u;
    } else {
        return 0;
    }
    if (left < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3Fu);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

bool IsControl(uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
}

}  // namespace

std::string ShownText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    for (size_t i = 0; i < size;) {
        uint32_t cp = p[i];
        size_t n = cp < 0x80 ? 1 : Utf8Sequence(p + i, size - i, cp);
        if (n == 0) {  // a stray byte, read as Latin-1
            cp = p[i];
            n = 1;
        }
        if (IsControl(cp)) {
            out += kReplacement;
        } else if (cp >= 0x80 && n == 1) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out.append(text.substr(i, n));
        }
        i += n;
    }
    return out;
}

std::string ShownLogLine(std::string_view appended) {
    const bool ended = appended.size() >= 2 && appended.substr(appended.size() - 2) == "\r\n";
    if (!ended) return ShownText(appended);
    return ShownText(appended.substr(0, appended.size() - 2)) + "\r\n";
}

std::string ShownLines(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t from = 0; from <= text.size();) {
        const size_t end = text.find("\r\n", from);
        if (end == std::string_view::npos) {
            out += ShownText(text.substr(from));
            break;
        }
        out += ShownText(text.substr(from, end - from));
        out += "\r\n";
        from = end + 2;
    }
    return out;
}
