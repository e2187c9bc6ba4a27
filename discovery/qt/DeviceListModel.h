#pragma once

#include <QAbstractTableModel>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/ListDesign.h"

class CQtImageList;

// The rows of lstDevices as the announces gave them, bytes unchanged; the view converts for
// display only.
struct CDeviceRow {
    std::string text;
    std::array<std::string, kSubItemCount> subItems;
    std::string icon;
    int tag = 0;
};

class CDeviceListModel : public QAbstractTableModel {
  public:
    explicit CDeviceListModel(const CQtImageList& images, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Rows count from 0 here; the window layer above counts from 1.
    int Count() const { return static_cast<int>(m_rows.size()); }
    const CDeviceRow& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    void Append(std::string_view text);
    void Remove(int row);
    void RemoveAll();
    void SetText(int row, std::string_view text);
    void SetSubItem(int row, int index, std::string_view text);
    void SetIcon(int row, std::string_view key);
    void SetTag(int row, int tag) { m_rows[static_cast<std::size_t>(row)].tag = tag; }

  private:
    void CellChanged(int row, int column, int role);

    const CQtImageList& m_images;
    std::vector<CDeviceRow> m_rows;
};
