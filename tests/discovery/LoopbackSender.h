// SPDX-License-Identifier: Apache-2.0
#pragma once

// A plain UDP sender on loopback for the listener's tests; it only ever sends to 127.0.0.1.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string_view>

class CLoopbackSender {
  public:
    CLoopbackSender() { m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); }
    ~CLoopbackSender() {
        if (m_fd >= 0) ::close(m_fd);
    }
    CLoopbackSender(const CLoopbackSender&) = delete;
    CLoopbackSender& operator=(const CLoopbackSender&) = delete;

    bool Send(uint16_t port, std::string_view payload) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        return ::sendto(m_fd, payload.data(), payload.size(), 0,
                        reinterpret_cast<const sockaddr*>(&to),
                        sizeof to) == static_cast<ssize_t>(payload.size());
    }

  private:
    int m_fd = -1;
};

// Holds a port on a socket of its own, so that a test can see a bind to it fail.
class CPortHolder {
  public:
    CPortHolder() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        local.sin_port = 0;
        if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0) {
            socklen_t length = sizeof local;
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length);
            m_port = ntohs(local.sin_port);
        }
    }
    ~CPortHolder() {
        if (m_fd >= 0) ::close(m_fd);
    }
    CPortHolder(const CPortHolder&) = delete;
    CPortHolder& operator=(const CPortHolder&) = delete;

    uint16_t Port() const { return m_port; }

  private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

// Waits at most timeoutMs for a datagram on fd.
inline bool WaitReadable(int fd, int timeoutMs = 3000) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) == 1;
}
