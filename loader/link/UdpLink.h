// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "LinkObserver.h"
#include "MessageBox.h"

// The datagram end of the bootloader link: one unbound IPv4 UDP socket and its destination.
class CUdpLink {
  public:
    static constexpr int kInvalidSocket = -1;
    static constexpr int kReceiveTimeoutMs = 10;
    static constexpr size_t kDiscardShown = 256;
    static constexpr int kMostStrangersPerReceive = 64;

    CUdpLink() = default;
    virtual ~CUdpLink();
    CUdpLink(const CUdpLink&) = delete;
    CUdpLink& operator=(const CUdpLink&) = delete;

    void SetMessageBox(IMessageBox* box) { m_messageBox = box; }
    // Told of every datagram sent and every one received, the discarded ones included.
    void SetObserver(ILinkObserver* observer) {
        m_observer.store(observer, std::memory_order_release);
    }

    // port in host order; address already in network order, stored unchanged.
    bool Open(uint16_t port, uint32_t address);
    void Close();
    bool IsOpen() const { return m_socket != kInvalidSocket; }
    // Bytes sent, or -1 with errno set.
    int Send(const uint8_t* data, size_t length);
    // 0 for a time-out, any error, or a datagram longer than capacity (which is dropped).
    // Only datagrams from the destination's address count, from any port; others are dropped
    // unread and noted to the observer.
    uint16_t Receive(uint8_t* buffer, uint16_t capacity);
    // Drops the datagrams already queued, without waiting; returns how many went. An observer
    // sees each of them as received (at most its first kDiscardShown bytes).
    int DiscardPending();

    const sockaddr_in& Destination() const { return m_destination; }
    // The local port the system gave the socket, 0 until the first send.
    uint16_t LocalPort() const;

  protected:
    // Seams for the failure paths that a healthy system never takes.
    virtual int CreateSocket();
    virtual bool SetReceiveTimeout(int socket);

  private:
    bool FromDestination(const sockaddr_in& from, socklen_t length) const;
    void NoteStranger(const sockaddr_in& from, size_t length);

    int m_socket = kInvalidSocket;
    sockaddr_in m_destination{};
    IMessageBox* m_messageBox = nullptr;
    std::atomic<ILinkObserver*> m_observer{nullptr};
};
