// SPDX-License-Identifier: Apache-2.0
#include "TraceFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int OpenTraceFile(const std::string& path, std::string& reason) {
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0) {
        reason = std::strerror(errno);
        return -1;
    }
    if (::write(fd, "", 0) < 0) {
        reason = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}
