#pragma once

#include <QTreeView>
#include <array>

#include "core/ListDesign.h"
#include "core/WindowLayer.h"
#include "qt/DeviceListModel.h"

class QAction;
class CQtImageList;

// lstDevices: a report-style list over CDeviceListModel, banded by its tiled background picture.
// The user can copy the selected unit's address from its context menu or with Ctrl+C.
class CQtDeviceList : public QTreeView, public IDeviceListView {
  public:
    CQtDeviceList(const CQtImageList& images, double twipsPerPixel, QWidget* parent);

    int ColumnCount() const override { return kDeviceColumnCount; }
    std::string_view ColumnKey(int position) const override;
    int ColumnWidth(int position) const override;
    CResult SetColumnWidth(int position, int twips) override;

    int Left() const override;
    int Top() const override;
    int Width() const override;
    int Height() const override;
    CResult Move(int left, int top) override;
    CResult SetSize(int width, int height) override;

    int RowCount() const override { return m_model.Count(); }
    CResult AddRow(std::string_view text, int* row) override;
    CResult RemoveRow(int row) override;
    CResult Clear() override;
    CResult RowText(int row, std::string_view* text) const override;
    CResult SetRowText(int row, std::string_view text) override;
    CResult SubItem(int row, int index, std::string_view* text) const override;
    CResult SetSubItem(int row, int index, std::string_view text) override;
    CResult SmallIcon(int row, std::string_view* key) const override;
    CResult SetSmallIcon(int row, std::string_view key) override;
    CResult Tag(int row, int* tag) const override;
    CResult SetTag(int row, int tag) override;

    // Puts the selected row's IP address on the clipboard; false when no device row is selected.
    bool CopySelectedAddress();
    QAction* CopyAction() const { return m_copyAction; }
    const CDeviceListModel& Model() const { return m_model; }

  private:
    bool HasRow(int row) const { return row >= 1 && row <= m_model.Count(); }
    int ToPixels(int twips) const;
    int ToTwips(int pixels) const;

    const CQtImageList& m_images;
    double m_twipsPerPixel;
    CDeviceListModel m_model;
    // Widths as last set, in twips, so that whole-pixel rounding does not creep into the
    // arithmetic of the message column; a width the user drags is read back from the header.
    std::array<int, kDeviceColumnCount> m_columnTwips{};
    QAction* m_copyAction = nullptr;
};
