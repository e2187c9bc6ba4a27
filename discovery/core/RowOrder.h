// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <vector>

// Which slot holds each row, in row order, as a ring: removing a row moves the entries on its
// shorter side only, so that giving up the oldest row of a full list costs next to nothing. Each
// entry carries the serial its row was appended with; serials rise along the rows, so a slot's
// row number is found by bisection.
class CRowOrder {
  public:
    explicit CRowOrder(std::size_t expected);

    std::size_t Count() const { return m_count; }
    // Index 0 is the first row; unchecked.
    uint32_t SlotAt(std::size_t index) const { return Entry(index).slot; }
    // The index of the row appended with that serial; Count() when there is none.
    std::size_t Find(uint64_t serial) const;

    void PushBack(uint32_t slot, uint64_t serial);
    void Erase(std::size_t index);
    void Clear() { m_count = 0; }

  private:
    struct CEntry {
        uint64_t serial;
        uint32_t slot;
    };
    const CEntry& Entry(std::size_t index) const { return m_ring[(m_first + index) & m_mask]; }
    CEntry& Entry(std::size_t index) { return m_ring[(m_first + index) & m_mask]; }

    std::vector<CEntry> m_ring;  // a power of two
    std::size_t m_mask = 0;
    std::size_t m_first = 0;
    std::size_t m_count = 0;
};
