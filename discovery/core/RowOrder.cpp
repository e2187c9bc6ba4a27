// SPDX-License-Identifier: Apache-2.0
#include "core/RowOrder.h"

CRowOrder::CRowOrder(std::size_t expected) {
    std::size_t size = 16;
    while (size < expected) size *= 2;
    m_ring.resize(size);
    m_mask = size - 1;
}

std::size_t CRowOrder::Find(uint64_t serial) const {
    std::size_t low = 0;
    std::size_t high = m_count;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (Entry(middle).serial < serial) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low < m_count && Entry(low).serial == serial ? low : m_count;
}

void CRowOrder::PushBack(uint32_t slot, uint64_t serial) {
    if (m_count == m_ring.size()) {
        std::vector<CEntry> bigger(m_ring.size() * 2);
        for (std::size_t index = 0; index < m_count; ++index) bigger[index] = Entry(index);
        m_ring.swap(bigger);
        m_mask = m_ring.size() - 1;
        m_first = 0;
    }
    Entry(m_count) = CEntry{serial, slot};
    ++m_count;
}

void CRowOrder::Erase(std::size_t index) {
    if (index < m_count / 2) {
        for (std::size_t at = index; at > 0; --at) Entry(at) = Entry(at - 1);
        m_first = (m_first + 1) & m_mask;
    } else {
        for (std::size_t at = index; at + 1 < m_count; ++at) Entry(at) = Entry(at + 1);
    }
    --m_count;
}
