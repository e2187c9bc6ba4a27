// SPDX-License-Identifier: Apache-2.0
#include "Output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "FlashText.h"

namespace {
bool g_outLost = false;
bool g_errLost = false;
bool g_quietLoss = false;

bool& LostFlag(int fd) {
    static bool other = false;
    return fd == STDOUT_FILENO ? g_outLost : fd == STDERR_FILENO ? g_errLost : other;
}

bool WriteWhole(int fd, const char* data, size_t size) {
    errno = 0;
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}
}  // namespace

bool WriteAll(int fd, const std::string& text) {
    bool& lost = LostFlag(fd);
    if (lost) return false;
    if (WriteWhole(fd, text.data(), text.size())) return true;
    const int error = errno;
    if (fd != STDOUT_FILENO && fd != STDERR_FILENO) return false;
    lost = true;
    if (fd == STDOUT_FILENO && !g_quietLoss)
        SayOnStderr(FlashText::OutputLost(error ? std::strerror(error) : "nothing written"));
    return false;
}

bool SayOnStderr(const std::string& text) {
    return WriteAll(STDERR_FILENO, FlashText::kPrefix + text + "\n");
}

void KeepOutputLossQuiet() {
    g_quietLoss = true;
}
