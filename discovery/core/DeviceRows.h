#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/ListDesign.h"
#include "core/Result.h"

// One row of lstDevices as the announces gave it, bytes unchanged.
struct CDeviceRow {
    std::string text;
    std::array<std::string, kSubItemCount> subItems;
    std::string_view icon = kIconNone;  // always one of the icon keys below
    int tag = 0;
};

// The rows of lstDevices, 1-based as the window layer counts them, with the checks that every
// layer reports the same way. The window, the test layer and the watcher all keep their rows here.
class CDeviceRowStore {
  public:
    CDeviceRowStore();

    int Count() const { return static_cast<int>(m_rows.size()); }
    bool HasRow(int row) const { return row >= 1 && row <= Count(); }
    // Unchecked; callers check with HasRow or CheckRow first.
    const CDeviceRow& Row(int row) const { return m_rows[static_cast<std::size_t>(row - 1)]; }

    CResult CheckRow(int row) const;
    // Sub-items 1 to 3 can be written; 0, the row's own text, can also be read.
    CResult CheckSubItem(int row, int index, bool forWriting) const;
    static CResult CheckIcon(std::string_view key);

    int Append(std::string_view text);
    CResult Remove(int row);
    void Clear() { m_rows.clear(); }

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

  private:
    CDeviceRow& Mutable(int row) { return m_rows[static_cast<std::size_t>(row - 1)]; }

    std::vector<CDeviceRow> m_rows;
};
