// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

#include "core/UdpAnnounceSocket.h"

// sktListenAnnounce: the POSIX listener with a notifier that reports each waiting datagram to the
// window's thread.
class CQtAnnounceSocket : public IAnnounceSocket {
  public:
    explicit CQtAnnounceSocket(std::function<void()> onDataArrival)
        : m_onDataArrival(std::move(onDataArrival)) {}

    CResult SetProtocolUdp() override;
    CResult Bind(uint16_t port) override;
    CResult ReadDatagram(char* buffer, std::size_t capacity, std::size_t* length,
                         uint32_t* sender) override {
        return m_socket.ReadDatagram(buffer, capacity, length, sender);
    }
    void Close() override;
    void SetNotifying(bool on) override;

    bool IsBound() const { return m_socket.IsBound(); }
    uint16_t LocalPort() const { return m_socket.LocalPort(); }

  private:
    static constexpr int kArrivalsPerWake = 64;
    void Arrived();

    CUdpAnnounceSocket m_socket;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_onDataArrival;
};
