// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <atomic>
#include <cstddef>

#include "NotifyTarget.h"

// A fixed ring between the one worker that posts and the one dialog thread that takes, with an
// eventfd that becomes readable while messages wait, so any event loop can wake on it.
// Nothing is allocated per message.
class CBootMessageQueue : public INotifyTarget {
  public:
    static constexpr size_t kCapacity = 256;
    // Slots that only messages that must arrive may fill; stray replies stop short of them.
    static constexpr size_t kReserved = 16;

    CBootMessageQueue();
    ~CBootMessageQueue() override;
    CBootMessageQueue(const CBootMessageQueue&) = delete;
    CBootMessageQueue& operator=(const CBootMessageQueue&) = delete;

    void PostBootMessage(const CBootMessage& message) override;
    // Dialog thread: the oldest waiting message, if any.
    bool Take(CBootMessage& message);
    // Dialog thread: waits up to timeoutMs for a message to be waiting.
    bool WaitFor(int timeoutMs);
    int WakeFd() const { return m_wakeFd; }

  private:
    CBootMessage m_ring[kCapacity];
    std::atomic<size_t> m_head{0};  // next slot to take
    std::atomic<size_t> m_tail{0};  // next slot to post
    int m_wakeFd = -1;
};
