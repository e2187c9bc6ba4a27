// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QAbstractTableModel>
#include <string_view>

#include "core/DeviceRows.h"

class CQtImageList;

// lstDevices' rows for the view: the one row store, with Qt told of every change. The view
// converts the bytes for display only.
class CDeviceListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit CDeviceListModel(const CQtImageList& images, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Rows count from 1 here, as in the window layer; Qt's indexes count from 0.
    const CDeviceRowStore& Rows() const { return m_rows; }
    int Append(std::string_view text);
    CResult Remove(int row);
    void RemoveAll();
    CResult SetText(int row, std::string_view text);
    CResult SetSubItem(int row, int index, std::string_view text);
    CResult SetIcon(int row, std::string_view key);
    CResult SetTag(int row, int tag) { return m_rows.SetTag(row, tag); }
    // Nothing on screen shows who was heard when.
    CResult MarkHeard(int row) { return m_rows.MarkHeard(row); }

  private:
    void CellChanged(int row, int column, int role);

    const CQtImageList& m_images;
    CDeviceRowStore m_rows;
};
