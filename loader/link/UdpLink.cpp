// SPDX-License-Identifier: Apache-2.0
#include "UdpLink.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

CUdpLink::~CUdpLink() {
    Close();
}

int CUdpLink::CreateSocket() {
    return ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
}

bool CUdpLink::SetReceiveTimeout(int socket) {
    timeval tv{};
    tv.tv_sec = 0;
    tv.tv_usec = kReceiveTimeoutMs * 1000;
    return ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

bool CUdpLink::Open(uint16_t port, uint32_t address) {
    m_socket = CreateSocket();
    if (m_socket < 0) {
        m_socket = kInvalidSocket;
        if (m_messageBox) m_messageBox->ShowErrorBox("Socket creation failed!", "Socket Error");
        return false;
    }
    if (!SetReceiveTimeout(m_socket)) {
        if (m_messageBox)
            m_messageBox->ShowErrorBox("Failed to set the receive time out!", nullptr);
        return false;
    }
    m_destination = sockaddr_in{};
    m_destination.sin_family = AF_INET;
    m_destination.sin_port = htons(port);
    m_destination.sin_addr.s_addr = address;
    return true;
}

void CUdpLink::Close() {
    if (m_socket == kInvalidSocket) return;
    ::close(m_socket);
    m_socket = kInvalidSocket;
}

int CUdpLink::Send(const uint8_t* data, size_t length) {
    const int sent = static_cast<int>(::sendto(m_socket, data, length, 0,
                                               reinterpret_cast<const sockaddr*>(&m_destination),
                                               sizeof m_destination));
    ILinkObserver* observer = m_observer.load(std::memory_order_acquire);
    if (observer != nullptr && sent >= 0) observer->OnDatagram(EDatagramWay::kSent, data, length);
    return sent;
}

uint16_t CUdpLink::Receive(uint8_t* buffer, uint16_t capacity) {
    if (m_socket == kInvalidSocket) return 0;
    // SO_RCVTIMEO of 10 ms sleeps 13 to 16 ms on Linux; poll keeps a pass near 10 ms.
    pollfd pfd{m_socket, POLLIN, 0};
    if (::poll(&pfd, 1, kReceiveTimeoutMs) <= 0 || !(pfd.revents & POLLIN)) return 0;
    // Bounded, so that strangers flooding the socket can't hold the worker here.
    for (int stranger = 0; stranger < kMostStrangersPerReceive; ++stranger) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        // MSG_TRUNC reports the datagram's real size, so a longer one is dropped as a whole
        // rather than delivered cut short.
        const ssize_t n = ::recvfrom(m_socket, buffer, capacity, MSG_TRUNC | MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) return 0;
        if (!FromDestination(from, fromLength)) {
            NoteStranger(from, static_cast<size_t>(n));
            continue;
        }
        if (n == 0 || n > capacity) return 0;
        ILinkObserver* observer = m_observer.load(std::memory_order_acquire);
        if (observer != nullptr)
            observer->OnDatagram(EDatagramWay::kReceived, buffer, static_cast<size_t>(n));
        return static_cast<uint16_t>(n);
    }
    return 0;
}

// Only the unit speaks for the unit: another host (most likely another unit flashed with the
// same file) could otherwise answer in its place. The port is not compared, since a unit may
// answer from a port other than the one it was sent to.
bool CUdpLink::FromDestination(const sockaddr_in& from, socklen_t length) const {
    return length >= sizeof from && from.sin_family == AF_INET &&
           from.sin_addr.s_addr == m_destination.sin_addr.s_addr;
}

void CUdpLink::NoteStranger(const sockaddr_in& from, size_t length) {
    ILinkObserver* observer = m_observer.load(std::memory_order_acquire);
    if (observer == nullptr) return;
    char address[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
    char note[128];
    std::snprintf(note, sizeof note, "datagram of %zu bytes from %s port %u dropped: not the unit",
                  length, address, static_cast<unsigned>(ntohs(from.sin_port)));
    observer->OnEngineNote(note);
}

int CUdpLink::DiscardPending() {
    if (m_socket == kInvalidSocket) return 0;
    // Bounded, so a unit that floods the socket can't hold the worker here.
    constexpr int kMostDiscarded = 4096;
    ILinkObserver* observer = m_observer.load(std::memory_order_acquire);
    // Only a trace needs the bytes; without one a single byte is read and the rest dropped.
    uint8_t sink[kDiscardShown];
    const size_t room = observer != nullptr ? sizeof sink : 1;
    int discarded = 0;
    while (discarded < kMostDiscarded) {
        const ssize_t n = ::recv(m_socket, sink, room, MSG_TRUNC | MSG_DONTWAIT);
        if (n < 0) break;
        ++discarded;
        if (observer != nullptr)
            observer->OnDatagram(EDatagramWay::kReceived, sink,
                                 std::min(static_cast<size_t>(n), room));
    }
    return discarded;
}

uint16_t CUdpLink::LocalPort() const {
    if (m_socket == kInvalidSocket) return 0;
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &len) != 0) return 0;
    return ntohs(local.sin_port);
}
