// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "core/AnnounceSocket.h"

// The listener on a plain POSIX datagram socket. Non-blocking: the window reads only when told that
// a datagram is waiting. Nothing is ever sent on it.
class CUdpAnnounceSocket : public IAnnounceSocket {
  public:
    CUdpAnnounceSocket() = default;
    ~CUdpAnnounceSocket() override;
    CUdpAnnounceSocket(const CUdpAnnounceSocket&) = delete;
    CUdpAnnounceSocket& operator=(const CUdpAnnounceSocket&) = delete;

    CResult SetProtocolUdp() override;
    CResult Bind(uint16_t port) override;
    CResult ReadDatagram(char* buffer, std::size_t capacity, std::size_t* length,
                         uint32_t* sender) override;
    void Close() override;
    void SetNotifying(bool) override {}

    // Waits at most timeoutMs (0: only looks) for a datagram; false also while unbound.
    bool WaitReadable(int timeoutMs) const;

    int Descriptor() const { return m_fd; }
    bool IsBound() const { return m_bound; }
    // The bound port, 0 while unbound.
    uint16_t LocalPort() const;

  private:
    int m_fd = -1;
    bool m_bound = false;
    // The bind failure's description names the port, which strerror cannot.
    char m_bindError[96] = {};
};
