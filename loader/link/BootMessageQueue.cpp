// SPDX-License-Identifier: Apache-2.0
#include "BootMessageQueue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

CBootMessageQueue::CBootMessageQueue() {
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CBootMessageQueue::~CBootMessageQueue() {
    if (m_wakeFd >= 0) ::close(m_wakeFd);
}

void CBootMessageQueue::PostBootMessage(const CBootMessage& message) {
    const size_t tail = m_tail.load(std::memory_order_relaxed);
    const size_t head = m_head.load(std::memory_order_acquire);
    const size_t limit = message.mustArrive ? kCapacity : kCapacity - kReserved;
    if (tail - head >= limit) {
        // Only a flood of stray replies fills the ring, and the worker must not wait for the
        // dialog; the reserve keeps room for what the sequence waits on. The message is lost.
        return;
    }
    m_ring[tail % kCapacity] = message;
    m_tail.store(tail + 1, std::memory_order_release);
    const uint64_t one = 1;
    if (m_wakeFd >= 0) (void)!::write(m_wakeFd, &one, sizeof one);
}

bool CBootMessageQueue::Take(CBootMessage& message) {
    const size_t head = m_head.load(std::memory_order_relaxed);
    const size_t tail = m_tail.load(std::memory_order_acquire);
    if (head == tail) {
        uint64_t count = 0;
        if (m_wakeFd >= 0) (void)!::read(m_wakeFd, &count, sizeof count);
        // A post may have landed between the check and the read; keep the fd readable for it.
        if (m_tail.load(std::memory_order_acquire) != head && m_wakeFd >= 0) {
            const uint64_t one = 1;
            (void)!::write(m_wakeFd, &one, sizeof one);
        }
        return false;
    }
    message = m_ring[head % kCapacity];
    m_head.store(head + 1, std::memory_order_release);
    return true;
}

bool CBootMessageQueue::WaitFor(int timeoutMs) {
    if (m_head.load(std::memory_order_relaxed) != m_tail.load(std::memory_order_acquire))
        return true;
    pollfd pfd{m_wakeFd, POLLIN, 0};
    ::poll(&pfd, 1, timeoutMs);
    return m_head.load(std::memory_order_relaxed) != m_tail.load(std::memory_order_acquire);
}
