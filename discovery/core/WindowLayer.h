// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string_view>

#include "core/Result.h"

// What frmMain's logic asks of its window. Rows and column positions count from 1, sub-items from
// 1 to 3 (sub-item 0 is the row's own text); lengths are twips.

class IDeviceListView {
  public:
    virtual ~IDeviceListView() = default;

    virtual int ColumnCount() const = 0;
    virtual std::string_view ColumnKey(int position) const = 0;
    virtual int ColumnWidth(int position) const = 0;
    virtual CResult SetColumnWidth(int position, int twips) = 0;

    virtual int Left() const = 0;
    virtual int Top() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual CResult Move(int left, int top) = 0;
    virtual CResult SetSize(int width, int height) = 0;

    virtual int RowCount() const = 0;
    // Appends a row with that text and no sub-items, icon or tag; *row receives its position.
    virtual CResult AddRow(std::string_view text, int* row) = 0;
    virtual CResult RemoveRow(int row) = 0;
    virtual CResult Clear() = 0;
    virtual CResult RowText(int row, std::string_view* text) const = 0;
    virtual CResult SetRowText(int row, std::string_view text) = 0;
    virtual CResult SubItem(int row, int index, std::string_view* text) const = 0;
    virtual CResult SetSubItem(int row, int index, std::string_view text) = 0;
    virtual CResult SmallIcon(int row, std::string_view* key) const = 0;
    // An empty key takes the icon away; any other must be in the list's image list.
    virtual CResult SetSmallIcon(int row, std::string_view key) = 0;
    virtual CResult Tag(int row, int* tag) const = 0;
    virtual CResult SetTag(int row, int tag) = 0;

    // The first device row whose MAC (sub-item 1) equals mac, ignoring ASCII case; *row is 0
    // when there is none. Answers without reading every row.
    virtual CResult FindDevice(std::string_view mac, int* row) const = 0;
    // An announce for the row arrived; the list remembers who was heard when.
    virtual CResult MarkHeard(int row) = 0;
    // The row that a full list gives up for a new unit; 0 when it holds no device row.
    virtual int EvictionCandidate() const = 0;
};

class IFormWindow {
  public:
    virtual ~IFormWindow() = default;
    virtual int OuterWidth() const = 0;
    virtual int OuterHeight() const = 0;
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
    virtual CResult SetOuterWidth(int twips) = 0;
    virtual CResult SetOuterHeight(int twips) = 0;
    virtual bool IsMinimised() const = 0;
};

class IWindowTimer {
  public:
    virtual ~IWindowTimer() = default;
    virtual CResult SetInterval(int milliseconds) = 0;
    virtual CResult Start() = 0;
    virtual void Stop() = 0;
};

// Modal, with only an OK button; returns when the user has pressed it.
class IMessageBox {
  public:
    virtual ~IMessageBox() = default;
    virtual void ShowError(std::string_view title, std::string_view text) = 0;
};
