// SPDX-License-Identifier: Apache-2.0
#include "core/UdpAnnounceSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

CUdpAnnounceSocket::~CUdpAnnounceSocket() {
    Close();
}

CResult CUdpAnnounceSocket::SetProtocolUdp() {
    Close();
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    return m_fd < 0 ? ErrnoResult(errno) : Success();
}

CResult CUdpAnnounceSocket::Bind(uint16_t port) {
    if (m_fd < 0) return FailWith(kErrListenerNotOpen);
    // No SO_REUSEADDR and no SO_BROADCAST: a port held by another program must make this fail.
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int err = errno;
        if (err == EADDRINUSE) {
            std::snprintf(m_bindError, sizeof m_bindError,
                          "UDP port %u is already in use by another program", unsigned{port});
        } else {
            std::snprintf(m_bindError, sizeof m_bindError, "UDP port %u: %s", unsigned{port},
                          std::strerror(err));
        }
        return {err, m_bindError};
    }
    m_bound = true;
    return Success();
}

CResult CUdpAnnounceSocket::ReadDatagram(char* buffer, std::size_t capacity, std::size_t* length,
                                         uint32_t* sender) {
    *length = 0;
    *sender = 0;
    if (m_fd < 0 || !m_bound) return FailWith(kErrListenerNotOpen);
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t received;
    do {
        received = ::recvfrom(m_fd, buffer, capacity, MSG_DONTWAIT | MSG_TRUNC,
                              reinterpret_cast<sockaddr*>(&from), &fromLength);
    } while (received < 0 && errno == EINTR);
    if (received < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) return Success();
        return ErrnoResult(errno);
    }
    // MSG_TRUNC reports the full size; a datagram larger than the buffer is an error, not a
    // silently shortened announce.
    if (static_cast<std::size_t>(received) > capacity) return ErrnoResult(EMSGSIZE);
    *length = static_cast<std::size_t>(received);
    *sender = ntohl(from.sin_addr.s_addr);
    return Success();
}

bool CUdpAnnounceSocket::WaitReadable(int timeoutMs) const {
    if (m_fd < 0 || !m_bound) return false;
    pollfd waiting{m_fd, POLLIN, 0};
    return ::poll(&waiting, 1, timeoutMs) == 1 && (waiting.revents & POLLIN) != 0;
}

void CUdpAnnounceSocket::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_bound = false;
}

uint16_t CUdpAnnounceSocket::LocalPort() const {
    if (m_fd < 0 || !m_bound) return 0;
    sockaddr_in local{};
    socklen_t localLength = sizeof local;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) return 0;
    return ntohs(local.sin_port);
}
