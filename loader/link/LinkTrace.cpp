// SPDX-License-Identifier: Apache-2.0
#include "LinkTrace.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "BootCommands.h"

namespace {
// Kept below PIPE_BUF, so that a line on a pipe (stderr into a pager) is not split either.
constexpr size_t kLineCapacity = CLinkTrace::kMaxPrefix + 48 + 3 * CLinkTrace::kMaxShownBytes + 8;
static_assert(kLineCapacity <= 4096, "a trace line must fit one atomic pipe write");

bool IsWakeup(const uint8_t* data, size_t length) {
    if (length != static_cast<size_t>(kWakeupLength) || data[kWakeupLength - 1] != 0) return false;
    for (int i = 0; i < kWakeupLength - 1; ++i)
        if (data[i] < 0x20 || data[i] > 0x7E || data[i] == '"' || data[i] == '\\') return false;
    return true;
}
}  // namespace

CLinkTrace::CLinkTrace(int datagramFd, int notesFd, const char* prefix)
    : m_datagramFd(datagramFd), m_notesFd(notesFd), m_start(std::chrono::steady_clock::now()) {
    if (prefix != nullptr) std::snprintf(m_prefix, sizeof m_prefix, "%s", prefix);
}

size_t CLinkTrace::Begin(char* line) const {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - m_start)
                        .count();
    const int n =
        std::snprintf(line, kLineCapacity, "%s%lld ", m_prefix, static_cast<long long>(ms));
    return n > 0 ? static_cast<size_t>(n) : 0;
}

void CLinkTrace::OnDatagram(EDatagramWay way, const uint8_t* data, size_t length) {
    if (m_datagramFd < 0) return;
    static const char kDigits[] = "0123456789ABCDEF";
    char line[kLineCapacity];
    size_t n = Begin(line);
    const char* direction = way == EDatagramWay::kSent ? "send" : "recv";
    if (IsWakeup(data, length)) {
        n += static_cast<size_t>(
            std::snprintf(line + n, kLineCapacity - n, "%s %zu wake \"%.*s\"\n", direction, length,
                          kWakeupLength - 1, reinterpret_cast<const char*>(data)));
        WriteDatagramLine(line, n);
        return;
    }
    n += static_cast<size_t>(
        std::snprintf(line + n, kLineCapacity - n, "%s %zu", direction, length));
    const size_t shown = length < kMaxShownBytes ? length : kMaxShownBytes;
    for (size_t i = 0; i < shown; ++i) {
        line[n++] = ' ';
        line[n++] = kDigits[data[i] >> 4];
        line[n++] = kDigits[data[i] & 0x0F];
    }
    if (shown < length) {
        std::memcpy(line + n, " ...", 4);
        n += 4;
    }
    line[n++] = '\n';
    WriteDatagramLine(line, n);
}

void CLinkTrace::OnEngineNote(const char* text) {
    if (m_notesFd < 0) return;
    char line[kLineCapacity];
    size_t n = Begin(line);
    const int added = std::snprintf(line + n, kLineCapacity - n - 1, "# %s", text);
    if (added > 0) n += std::min(static_cast<size_t>(added), kLineCapacity - n - 2);
    line[n++] = '\n';
    WriteLine(m_notesFd, line, n);
}

void CLinkTrace::WriteDatagramLine(const char* line, size_t length) {
    const int error = WriteLine(m_datagramFd, line, length);
    int none = 0;
    if (error != 0) m_datagramError.compare_exchange_strong(none, error);
}

int CLinkTrace::WriteLine(int fd, const char* line, size_t length) {
    // One write() normally takes the whole line; a short one (a full disk, a signal) is
    // finished rather than lost, at the price of that line's atomicity.
    while (length > 0) {
        const ssize_t written = ::write(fd, line, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;
        line += written;
        length -= static_cast<size_t>(written);
    }
    return 0;
}
