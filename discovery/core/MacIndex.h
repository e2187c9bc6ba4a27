// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// Finds rows by MAC without reading every row: an open-addressed table of (hash, slot) pairs with
// linear probing. It keeps no text; whoever asks compares the MACs of the slots it is shown, so
// that equal hashes never pass for equal MACs.
class CMacIndex {
  public:
    // Room for this many slots before the table grows.
    explicit CMacIndex(std::size_t expected);

    // Letters of either case hash alike, as the list compares MACs ignoring ASCII case.
    static uint32_t Hash(std::string_view mac);

    void Insert(uint32_t hash, uint32_t slot);
    void Erase(uint32_t hash, uint32_t slot);
    void Clear();

    // Calls visit(slot) for every slot filed under that hash, in no particular order.
    template <class Visit>
    void ForEach(uint32_t hash, Visit&& visit) const {
        for (std::size_t at = Home(hash); m_entries[at].slot != kEmpty; at = Next(at)) {
            if (m_entries[at].hash == hash) visit(m_entries[at].slot);
        }
    }

  private:
    struct CEntry {
        uint32_t hash;
        uint32_t slot;
    };
    static constexpr uint32_t kEmpty = UINT32_MAX;

    std::size_t Home(uint32_t hash) const { return hash & m_mask; }
    std::size_t Next(std::size_t at) const { return (at + 1) & m_mask; }
    void Grow();

    std::vector<CEntry> m_entries;  // a power of two, never more than half full
    std::size_t m_mask = 0;
    std::size_t m_count = 0;
};
