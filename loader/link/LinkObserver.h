// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstddef>
#include <cstdint>

enum class EDatagramWay { kSent, kReceived };

// Sees the link from the worker thread (and StartCommand's thread). Implementations must be
// thread-safe and must not block for long; nothing is allocated per call by the engine.
class ILinkObserver {
  public:
    virtual ~ILinkObserver() = default;
    // Every datagram sent or received, as it went on the wire.
    virtual void OnDatagram(EDatagramWay way, const uint8_t* data, size_t length) = 0;
    // One line of the engine's view, without a line break, e.g.
    // "CMD_PROGRAM try 2 of 3 (11 records, 252 bytes)", "reply 03 answers CMD_PROGRAM",
    // "reply 03 dropped: second answer", "reply 02 is not the answer to CMD_PROGRAM",
    // "2 queued datagrams discarded", "CMD_ERASE timed out after 3 tries".
    virtual void OnEngineNote(const char* text) = 0;
};
