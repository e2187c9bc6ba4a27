// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>
#include <string_view>

// Appends the bytes as one JSON string, quotes included. Announce fields are single-byte text of
// no declared encoding, so each byte becomes the character of the same number (ISO 8859-1):
// printable ASCII as itself, everything else as a \u00XX escape (\" \\ \n \r \t \b \f for those).
// The output is plain ASCII, valid JSON whatever the bytes, and a reader gets every byte back.
void AppendJsonString(std::string_view bytes, std::string* out);
