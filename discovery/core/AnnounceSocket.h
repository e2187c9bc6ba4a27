// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Result.h"

// The listener as frmMain drives it: made UDP, bound once, read one whole datagram per arrival.
class IAnnounceSocket {
  public:
    virtual ~IAnnounceSocket() = default;
    virtual CResult SetProtocolUdp() = 0;
    // Binds every local IPv4 address, without address reuse; port 0 picks a free port.
    virtual CResult Bind(uint16_t port) = 0;
    // Reads the next datagram whole. With none waiting, succeeds with *length 0.
    // *sender is the source address in host byte order.
    virtual CResult ReadDatagram(char* buffer, std::size_t capacity, std::size_t* length,
                                 uint32_t* sender) = 0;
    virtual void Close() = 0;
    // While an error report is open the window must not start another procedure inside it;
    // arrivals wait in the socket until notifications resume.
    virtual void SetNotifying(bool on) = 0;
};
