// SPDX-License-Identifier: Apache-2.0
#include "core/MacIndex.h"

#include "core/DisplayText.h"

CMacIndex::CMacIndex(std::size_t expected) {
    std::size_t size = 16;
    while (size < expected * 2) size *= 2;
    m_entries.assign(size, CEntry{0, kEmpty});
    m_mask = size - 1;
}

uint32_t CMacIndex::Hash(std::string_view mac) {
    // FNV-1a, then a final mix so that the low bits, which pick the bucket, depend on every byte.
    uint32_t hash = 2166136261u;
    for (const char c : mac) {
        hash ^= static_cast<unsigned char>(UpperAscii(c));
        hash *= 16777619u;
    }
    hash ^= hash >> 16;
    hash *= 0x7FEB352Du;
    hash ^= hash >> 15;
    return hash;
}

void CMacIndex::Insert(uint32_t hash, uint32_t slot) {
    if ((m_count + 1) * 2 > m_entries.size()) Grow();
    std::size_t at = Home(hash);
    while (m_entries[at].slot != kEmpty) at = Next(at);
    m_entries[at] = CEntry{hash, slot};
    ++m_count;
}

void CMacIndex::Erase(uint32_t hash, uint32_t slot) {
    std::size_t hole = Home(hash);
    while (m_entries[hole].slot != slot) {
        if (m_entries[hole].slot == kEmpty) return;  // not filed
        hole = Next(hole);
    }
    // Pull back every later entry of the run that may sit in the hole, so that no probe that
    // passed through it stops short of its entry.
    for (std::size_t at = Next(hole); m_entries[at].slot != kEmpty; at = Next(at)) {
        const std::size_t home = Home(m_entries[at].hash);
        const bool homeAfterHole =
            hole <= at ? (hole < home && home <= at) : (hole < home || home <= at);
        if (homeAfterHole) continue;
        m_entries[hole] = m_entries[at];
        hole = at;
    }
    m_entries[hole].slot = kEmpty;
    --m_count;
}

void CMacIndex::Clear() {
    for (CEntry& entry : m_entries) entry.slot = kEmpty;
    m_count = 0;
}

void CMacIndex::Grow() {
    std::vector<CEntry> old(m_entries.size() * 2, CEntry{0, kEmpty});
    old.swap(m_entries);
    m_mask = m_entries.size() - 1;
    m_count = 0;
    for (const CEntry& entry : old) {
        if (entry.slot != kEmpty) Insert(entry.hash, entry.slot);
    }
}
