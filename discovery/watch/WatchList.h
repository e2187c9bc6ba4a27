// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <vector>

#include "core/DeviceRows.h"
#include "core/WindowLayer.h"
#include "watch/EventFormat.h"

class IWatchEvents {
  public:
    virtual ~IWatchEvents() = default;
    virtual void OnEvent(EWatchEvent event, const CDeviceRow& row) = 0;
};

// lstDevices without a screen: frmMain's logic keeps its rows here by the window's own rules, and
// the list turns what the logic did into events. A removal is told at once, with the row as it
// was; appearances and changes are told by Flush, once the procedure has filled the row in.
class CWatchList : public IDeviceListView {
  public:
    explicit CWatchList(IWatchEvents& events);

    int ColumnCount() const override { return kDeviceColumnCount; }
    std::string_view ColumnKey(int position) const override;
    int ColumnWidth(int position) const override;
    CResult SetColumnWidth(int position, int twips) override;
    int Left() const override { return 0; }
    int Top() const override { return 0; }
    int Width() const override { return kListWidthTwips; }
    int Height() const override { return kListHeightTwips; }
    CResult Move(int, int) override { return Success(); }
    CResult SetSize(int, int) override { return Success(); }

    int RowCount() const override { return m_rows.Count(); }
    CResult AddRow(std::string_view text, int* row) override;
    CResult RemoveRow(int row) override;
    CResult Clear() override;
    CResult RowText(int row, std::string_view* text) const override {
        return m_rows.Text(row, text);
    }
    CResult SetRowText(int row, std::string_view text) override;
    CResult SubItem(int row, int index, std::string_view* text) const override {
        return m_rows.SubItem(row, index, text);
    }
    CResult SetSubItem(int row, int index, std::string_view text) override;
    CResult SmallIcon(int row, std::string_view* key) const override {
        return m_rows.Icon(row, key);
    }
    CResult SetSmallIcon(int row, std::string_view key) override {
        return m_rows.SetIcon(row, key);
    }
    CResult Tag(int row, int* tag) const override { return m_rows.Tag(row, tag); }
    CResult SetTag(int row, int tag) override { return m_rows.SetTag(row, tag); }
    CResult FindDevice(std::string_view mac, int* row) const override {
        *row = m_rows.FindDevice(mac);
        return Success();
    }
    CResult MarkHeard(int row) override { return m_rows.MarkHeard(row); }
    int EvictionCandidate() const override { return m_rows.EvictionCandidate(); }

    // Tells the appearances and changes since the last flush, in list order.
    void Flush();
    const CDeviceRowStore& Rows() const { return m_rows; }

  private:
    enum : uint8_t { kAppeared = 1, kChanged = 2 };
    // Only the rows touched since the last flush, so that an announce costs the same however
    // many rows the list holds.
    struct CPending {
        int row;
        uint8_t what;
    };
    CPending* FindPending(int row);
    void Mark(int row, uint8_t what);
    void TellRemoval(int row);

    IWatchEvents& m_events;
    CDeviceRowStore m_rows;
    std::vector<CPending> m_pending;
    int m_widths[kDeviceColumnCount];
};
