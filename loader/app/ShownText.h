// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>
#include <string_view>

// Text from a unit (its name) is untrusted: shown raw, an ESC sequence moves the cursor or
// recolours a terminal, and a CR or LF starts a line that looks like one of ours. Shown on a
// screen or a terminal, each control character (C0, DEL and C1) becomes U+FFFD. Valid UTF-8
// passes; a byte that is not part of it is read as Latin-1, as the JSON output reads it.
// The data itself (the log as written, the JSON) keeps every byte.
std::string ShownText(std::string_view text);
// The same for text of many lines: each CR LF stays a line break, every other control
// character becomes U+FFFD.
std::string ShownLines(std::string_view text);
// What the dialog appends to its log (one line and its CR LF) as a log box shows it: only that
// last CR LF breaks the line.
std::string ShownLogLine(std::string_view appended);
