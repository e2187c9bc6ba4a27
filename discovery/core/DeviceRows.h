// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ListDesign.h"
#include "core/MacIndex.h"
#include "core/Result.h"
#include "core/RowOrder.h"

// One row of lstDevices as the announces gave it, bytes unchanged.
struct CDeviceRow {
    std::string text;
    std::array<std::string, kSubItemCount> subItems;
    std::string_view icon = kIconNone;  // always one of the icon keys below
    int tag = 0;
};

// The rows of lstDevices, 1-based as the window layer counts them, with the checks that every
// layer reports the same way. The window, the test layer and the watcher all keep their rows here.
//
// A flood of invented MACs keeps the list full, so every announce must cost the same whatever the
// list holds: rows are found by MAC through an index, the row to give up is at hand in the order
// the units were heard, and a removal moves row numbers, never rows. A removed row's slot, with
// the room its strings had, is taken by the next row.
class CDeviceRowStore {
  public:
    CDeviceRowStore();

    int Count() const { return static_cast<int>(m_order.Count()); }
    bool HasRow(int row) const { return row >= 1 && row <= Count(); }
    // Unchecked; callers check with HasRow or CheckRow first.
    const CDeviceRow& Row(int row) const { return m_slots[SlotOf(row)].row; }

    CResult CheckRow(int row) const;
    // Sub-items 1 to 3 can be written; 0, the row's own text, can also be read.
    CResult CheckSubItem(int row, int index, bool forWriting) const;
    static CResult CheckIcon(std::string_view key);

    int Append(std::string_view text);
    CResult Remove(int row);
    void Clear();

    // Setters report through *changed whether the value differed, so that a view repaints only
    // what changed; unchanged text is not written again.
    CResult Text(int row, std::string_view* text) const;
    CResult SetText(int row, std::string_view text, bool* changed = nullptr);
    CResult SubItem(int row, int index, std::string_view* text) const;
    CResult SetSubItem(int row, int index, std::string_view text, bool* changed = nullptr);
    CResult Icon(int row, std::string_view* key) const;
    CResult SetIcon(int row, std::string_view key, bool* changed = nullptr);
    CResult Tag(int row, int* tag) const;
    CResult SetTag(int row, int tag);

    // A device row as opposed to the placeholder, which has no countdown.
    bool IsDevice(int row) const { return HasRow(row) && Row(row).tag != kNoCountdown; }

    // The first device row whose MAC (sub-item 1) equals mac, ignoring ASCII case; 0 when none.
    int FindDevice(std::string_view mac) const;
    // An announce for the row arrived.
    CResult MarkHeard(int row);
    // The row a full list gives up for a new unit: of the rows heard only once, the one heard
    // longest ago, so that a flood of one-shot MACs only ever displaces itself; when every row
    // was heard again, the one silent longest. 0 when there is no device row.
    int EvictionCandidate() const;

  private:
    static constexpr uint32_t kNoSlot = UINT32_MAX;
    struct CSlot {
        CDeviceRow row;
        uint64_t serial = 0;  // rising with every append: row order is serial order
        uint32_t macHash = 0;
        uint32_t previous = kNoSlot;  // neighbours in the heard list the slot is in
        uint32_t next = kNoSlot;
        uint8_t heard = 0;  // 0, 1, or 2 for "again"
    };
    // Slots in the order they were last heard, the longest ago first.
    struct CHeardList {
        uint32_t first = kNoSlot;
        uint32_t last = kNoSlot;
    };

    uint32_t SlotOf(int row) const { return m_order.SlotAt(static_cast<std::size_t>(row - 1)); }
    int RowOf(uint32_t slot) const;
    CDeviceRow& Mutable(int row) { return m_slots[SlotOf(row)].row; }
    void Link(CHeardList& list, uint32_t slot);
    void Unlink(CHeardList& list, uint32_t slot);
    void Forget(uint32_t slot);

    std::vector<CSlot> m_slots;
    std::vector<uint32_t> m_freeSlots;
    CRowOrder m_order;
    uint64_t m_nextSerial = 1;
    CMacIndex m_macIndex;
    CHeardList m_heardOnce;
    CHeardList m_heardAgain;
};
