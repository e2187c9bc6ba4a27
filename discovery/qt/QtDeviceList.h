// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QTreeView>
#include <array>
#include <string>

#include "core/ListDesign.h"
#include "core/WindowLayer.h"
#include "qt/DeviceListModel.h"
#include "qt/QuillonLauncher.h"

class QAction;
class CQtImageList;

// lstDevices: a report-style list over CDeviceListModel, banded by its tiled background picture.
// Its context menu copies the selected unit's address (also Ctrl+C), its row, or every row, and
// opens Quillon on the selected unit.
class CQtDeviceList : public QTreeView, public IDeviceListView {
    Q_OBJECT
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

    int RowCount() const override { return m_model.Rows().Count(); }
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
    CResult FindDevice(std::string_view mac, int* row) const override;
    CResult MarkHeard(int row) override { return m_model.MarkHeard(row); }
    int EvictionCandidate() const override { return m_model.Rows().EvictionCandidate(); }

    // The context menu's commands. The first two do nothing, and return false, unless a device
    // row is selected; the clipboard is then left as it was.
    bool CopySelectedAddress();
    bool CopySelectedRow();
    void CopyAllRows();
    // Starts quillon with the selected unit's address; false, starting nothing, without a device
    // row selected or without quillon.
    bool OpenSelectedInQuillon();
    // Where quillon is looked for: beside folder, then on PATH. The item is disabled when it is
    // in neither place. Pellisk's own folder is looked in when the list is made.
    void FindQuillonBeside(const QString& folder);
    QAction* CopyAction() const { return m_copyAction; }
    QAction* CopyRowAction() const { return m_copyRowAction; }
    QAction* CopyAllAction() const { return m_copyAllAction; }
    QAction* OpenInQuillonAction() const { return m_openInQuillonAction; }
    const CDeviceListModel& Model() const { return m_model; }

  private:
    // 1-based, 0 when nothing is selected.
    int SelectedRow() const;
    static void PutOnClipboard(const std::string& utf8);
    int ToPixels(int twips) const;
    int ToTwips(int pixels) const;

    double m_twipsPerPixel;
    CDeviceListModel m_model;
    // Widths as last set, in twips, so that whole-pixel rounding does not creep into the
    // arithmetic of the message column; a width the user drags is read back from the header.
    std::array<int, kDeviceColumnCount> m_columnTwips{};
    QAction* m_copyAction = nullptr;
    QAction* m_copyRowAction = nullptr;
    QAction* m_copyAllAction = nullptr;
    QAction* m_openInQuillonAction = nullptr;
    CQuillonLauncher m_quillon;
};
