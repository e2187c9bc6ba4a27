// SPDX-License-Identifier: Apache-2.0
#include "core/DeviceRows.h"

#include "core/DisplayText.h"

namespace {

bool Assign(std::string& cell, std::string_view text, bool* changed) {
    const bool differs = cell != text;
    if (differs) cell.assign(text);
    if (changed != nullptr) *changed = differs;
    return differs;
}

// The placeholder and a full list of units; growing under a flood would move every row.
constexpr std::size_t kUsualCapacity = kMaxDeviceRows + 1;

}  // namespace

CDeviceRowStore::CDeviceRowStore() : m_order(kUsualCapacity), m_macIndex(kUsualCapacity) {
    m_slots.reserve(kUsualCapacity);
    m_freeSlots.reserve(kUsualCapacity);
}

int CDeviceRowStore::RowOf(uint32_t slot) const {
    return static_cast<int>(m_order.Find(m_slots[slot].serial)) + 1;
}

void CDeviceRowStore::Link(CHeardList& list, uint32_t slot) {
    CSlot& linked = m_slots[slot];
    linked.previous = list.last;
    linked.next = kNoSlot;
    if (list.last == kNoSlot) {
        list.first = slot;
    } else {
        m_slots[list.last].next = slot;
    }
    list.last = slot;
}

void CDeviceRowStore::Unlink(CHeardList& list, uint32_t slot) {
    CSlot& linked = m_slots[slot];
    if (linked.previous == kNoSlot) {
        list.first = linked.next;
    } else {
        m_slots[linked.previous].next = linked.next;
    }
    if (linked.next == kNoSlot) {
        list.last = linked.previous;
    } else {
        m_slots[linked.next].previous = linked.previous;
    }
    linked.previous = linked.next = kNoSlot;
}

// Takes the slot out of the index and the heard lists; its strings keep their room for reuse.
void CDeviceRowStore::Forget(uint32_t slot) {
    CSlot& gone = m_slots[slot];
    if (gone.heard == 1) Unlink(m_heardOnce, slot);
    if (gone.heard == 2) Unlink(m_heardAgain, slot);
    gone.heard = 0;
    m_macIndex.Erase(gone.macHash, slot);
    m_freeSlots.push_back(slot);
}

CResult CDeviceRowStore::CheckRow(int row) const {
    return HasRow(row) ? Success() : FailWith(kErrRowOutOfRange);
}

CResult CDeviceRowStore::CheckSubItem(int row, int index, bool forWriting) const {
    if (!HasRow(row)) return FailWith(kErrRowOutOfRange);
    if (index < (forWriting ? 1 : 0) || index > kSubItemCount) {
        return FailWith(kErrSubItemOutOfRange);
    }
    return Success();
}

CResult CDeviceRowStore::CheckIcon(std::string_view key) {
    return key == kIconNone || key == kIconAdd || key == kIconRemove ? Success()
                                                                     : FailWith(kErrNoSuchImage);
}

int CDeviceRowStore::Append(std::string_view text) {
    uint32_t slot = 0;
    if (m_freeSlots.empty()) {
        slot = static_cast<uint32_t>(m_slots.size());
        m_slots.emplace_back();
    } else {
        slot = m_freeSlots.back();
        m_freeSlots.pop_back();
    }
    CSlot& fresh = m_slots[slot];
    fresh.row.text.assign(text);
    for (std::string& cell : fresh.row.subItems) cell.clear();
    fresh.row.icon = kIconNone;
    fresh.row.tag = 0;
    fresh.serial = m_nextSerial++;
    fresh.macHash = CMacIndex::Hash({});
    m_macIndex.Insert(fresh.macHash, slot);
    m_order.PushBack(slot, fresh.serial);
    return Count();
}

CResult CDeviceRowStore::Remove(int row) {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    Forget(SlotOf(row));
    m_order.Erase(static_cast<std::size_t>(row - 1));
    return Success();
}

void CDeviceRowStore::Clear() {
    for (std::size_t index = 0; index < m_order.Count(); ++index) Forget(m_order.SlotAt(index));
    m_order.Clear();
}

int CDeviceRowStore::FindDevice(std::string_view mac) const {
    uint32_t best = kNoSlot;
    m_macIndex.ForEach(CMacIndex::Hash(mac), [&](uint32_t slot) {
        const CSlot& candidate = m_slots[slot];
        if (candidate.row.tag == kNoCountdown) return;
        if (!EqualIgnoringAsciiCase(candidate.row.subItems[0], mac)) return;
        if (best == kNoSlot || candidate.serial < m_slots[best].serial) best = slot;
    });
    return best == kNoSlot ? 0 : RowOf(best);
}

CResult CDeviceRowStore::MarkHeard(int row) {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    const uint32_t slot = SlotOf(row);
    CSlot& heard = m_slots[slot];
    if (heard.heard == 0) {
        heard.heard = 1;
        Link(m_heardOnce, slot);
    } else if (heard.heard == 1) {
        Unlink(m_heardOnce, slot);
        heard.heard = 2;
        Link(m_heardAgain, slot);
    } else {
        Unlink(m_heardAgain, slot);
        Link(m_heardAgain, slot);
    }
    return Success();
}

int CDeviceRowStore::EvictionCandidate() const {
    if (m_heardOnce.first != kNoSlot) return RowOf(m_heardOnce.first);
    if (m_heardAgain.first != kNoSlot) return RowOf(m_heardAgain.first);
    // Device rows that no announce marked: the lowest countdown, the first row among equals.
    int victim = 0;
    for (int row = 1; row <= Count(); ++row) {
        if (IsDevice(row) && (victim == 0 || Row(row).tag < Row(victim).tag)) victim = row;
    }
    return victim;
}

CResult CDeviceRowStore::Text(int row, std::string_view* text) const {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    *text = Row(row).text;
    return Success();
}

CResult CDeviceRowStore::SetText(int row, std::string_view text, bool* changed) {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    Assign(Mutable(row).text, text, changed);
    return Success();
}

CResult CDeviceRowStore::SubItem(int row, int index, std::string_view* text) const {
    if (CResult r = CheckSubItem(row, index, false); !r.Ok()) return r;
    *text = index == 0 ? Row(row).text : Row(row).subItems[static_cast<std::size_t>(index - 1)];
    return Success();
}

CResult CDeviceRowStore::SetSubItem(int row, int index, std::string_view text, bool* changed) {
    if (CResult r = CheckSubItem(row, index, true); !r.Ok()) return r;
    CSlot& slot = m_slots[SlotOf(row)];
    if (!Assign(slot.row.subItems[static_cast<std::size_t>(index - 1)], text, changed)) {
        return Success();
    }
    if (index == 1) {  // the MAC
        m_macIndex.Erase(slot.macHash, SlotOf(row));
        slot.macHash = CMacIndex::Hash(text);
        m_macIndex.Insert(slot.macHash, SlotOf(row));
    }
    return Success();
}

CResult CDeviceRowStore::Icon(int row, std::string_view* key) const {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    *key = Row(row).icon;
    return Success();
}

CResult CDeviceRowStore::SetIcon(int row, std::string_view key, bool* changed) {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    if (CResult r = CheckIcon(key); !r.Ok()) return r;
    // Keep a view of our own constant, never of the caller's text.
    const std::string_view own = key == kIconAdd      ? kIconAdd
                                 : key == kIconRemove ? kIconRemove
                                                      : kIconNone;
    const bool differs = Row(row).icon != own;
    Mutable(row).icon = own;
    if (changed != nullptr) *changed = differs;
    return Success();
}

CResult CDeviceRowStore::Tag(int row, int* tag) const {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    *tag = Row(row).tag;
    return Success();
}

CResult CDeviceRowStore::SetTag(int row, int tag) {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    Mutable(row).tag = tag;
    return Success();
}
