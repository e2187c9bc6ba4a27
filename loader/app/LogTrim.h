// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstddef>
#include <string>

// The status log keeps its newest lines. Past kLogLineLimit the oldest go, a chunk at a time so
// that appending stays cheap, and one line at the top tells how many went in all.
constexpr size_t kLogLineLimit = 5000;
constexpr size_t kLogTrimChunk = 500;

// CR LF line breaks in text from `from` on.
size_t CountLineBreaks(const std::string& text, size_t from = 0);
// The log's lines, the dropped-lines line at its top not counted.
size_t CountLogLines(const std::string& log);
// With more than kLogLineLimit lines, drops the oldest down to kLogLineLimit - kLogTrimChunk and
// writes the dropped-lines line; `lines` follows. True when the log changed.
bool TrimLog(std::string& log, size_t& lines);
