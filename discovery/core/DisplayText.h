// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>
#include <string_view>

// Announce fields are single-byte text. For display each byte becomes one visible character:
// printable ASCII as itself, 0x80 to 0xFF as Windows-1252, and control bytes (a lone CR or LF
// must not break a row into lines) and the five holes of Windows-1252 as U+FFFD, a glyph that
// nearly every font has.
char32_t DisplayCodePoint(unsigned char byte);
// The same characters as UTF-8 text, appended to *out: what the clipboard and the watcher's
// lines carry, so that a tab or a line break inside a field never splits a row.
void AppendDisplayUtf8(std::string_view bytes, std::string* out);

// Upper-casing for the MAC comparison: ASCII letters only, so the result never depends on a locale.
inline char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);
