// SPDX-License-Identifier: Apache-2.0
#include "LogTrim.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kDroppedHead = "... ";
constexpr const char* kDroppedTail = " earlier lines dropped ...\r\n";

// The count of the dropped-lines line that starts the log, and where the kept lines begin.
bool ReadDroppedLine(const std::string& log, unsigned long long& dropped, size_t& body) {
    const size_t head = std::strlen(kDroppedHead);
    if (log.compare(0, head, kDroppedHead) != 0) return false;
    size_t at = head;
    unsigned long long count = 0;
    while (at < log.size() && at < head + 19 && log[at] >= '0' && log[at] <= '9')
        count = count * 10 + static_cast<unsigned long long>(log[at++] - '0');
    const size_t tail = std::strlen(kDroppedTail);
    if (at == head || log.compare(at, tail, kDroppedTail) != 0) return false;
    dropped = count;
    body = at + tail;
    return true;
}

}  // namespace

size_t CountLineBreaks(const std::string& text, size_t from) {
    size_t count = 0;
    for (size_t at = text.find("\r\n", from); at != std::string::npos;
         at = text.find("\r\n", at + 2))
        ++count;
    return count;
}

size_t CountLogLines(const std::string& log) {
    unsigned long long dropped = 0;
    size_t body = 0;
    (void)ReadDroppedLine(log, dropped, body);
    return CountLineBreaks(log, body);
}

bool TrimLog(std::string& log, size_t& lines) {
    if (lines <= kLogLineLimit) return false;
    unsigned long long dropped = 0;
    size_t body = 0;
    (void)ReadDroppedLine(log, dropped, body);
    const size_t drop = lines - (kLogLineLimit - kLogTrimChunk);
    size_t cut = body;
    size_t gone = 0;
    for (; gone < drop; ++gone) {
        const size_t end = log.find("\r\n", cut);
        if (end == std::string::npos) break;  // `lines` was off; the log ends here
        cut = end + 2;
    }
    dropped += gone;
    char line[64];
    std::snprintf(line, sizeof line, "%s%llu%s", kDroppedHead, dropped, kDroppedTail);
    log.replace(0, cut, line);
    lines = CountLineBreaks(log, std::strlen(line));
    return true;
}
