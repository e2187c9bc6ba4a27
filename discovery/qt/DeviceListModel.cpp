// SPDX-License-Identifier: Apache-2.0
#include "qt/DeviceListModel.h"

#include "qt/DisplayString.h"
#include "qt/QtImageList.h"

CDeviceListModel::CDeviceListModel(const CQtImageList& images, QObject* parent)
    : QAbstractTableModel(parent), m_images(images) {}

int CDeviceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows.Count();
}

int CDeviceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kDeviceColumnCount;
}

QVariant CDeviceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_rows.HasRow(index.row() + 1) ||
        index.column() >= kDeviceColumnCount) {
        return {};
    }
    const CDeviceRow& row = m_rows.Row(index.row() + 1);
    const std::string& cell =
        index.column() == 0 ? row.text : row.subItems[static_cast<std::size_t>(index.column() - 1)];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return ToDisplayString(cell);
        case Qt::DecorationRole:
            if (index.column() == 0) return m_images.Icon(row.icon);
            return {};
        case Qt::AccessibleDescriptionRole:
            // The icons carry meaning that a screen reader would otherwise miss.
            if (index.column() != 0) return {};
            if (row.icon == kIconAdd) return QStringLiteral("New device");
            if (row.icon == kIconRemove) return QStringLiteral("No longer announcing");
            return {};
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        default:
            return {};
    }
}

QVariant CDeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kDeviceColumnCount) return {};
    if (role == Qt::DisplayRole) {
        const std::string_view header = kDeviceColumns[section].header;
        return QString::fromLatin1(header.data(), static_cast<qsizetype>(header.size()));
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

Qt::ItemFlags CDeviceListModel::flags(const QModelIndex& index) const {
    // Rows can be selected but never edited in place.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

int CDeviceListModel::Append(std::string_view text) {
    beginInsertRows(QModelIndex(), m_rows.Count(), m_rows.Count());
    const int row = m_rows.Append(text);
    endInsertRows();
    return row;
}

CResult CDeviceListModel::Remove(int row) {
    if (CResult r = m_rows.CheckRow(row); !r.Ok()) return r;
    beginRemoveRows(QModelIndex(), row - 1, row - 1);
    m_rows.Remove(row);
    endRemoveRows();
    return Success();
}

void CDeviceListModel::RemoveAll() {
    beginResetModel();
    m_rows.Clear();
    endResetModel();
}

void CDeviceListModel::CellChanged(int row, int column, int role) {
    const QModelIndex cell = index(row - 1, column);
    emit dataChanged(cell, cell, {role});
}

CResult CDeviceListModel::SetText(int row, std::string_view text) {
    bool changed = false;
    const CResult result = m_rows.SetText(row, text, &changed);
    if (changed) CellChanged(row, 0, Qt::DisplayRole);
    return result;
}

CResult CDeviceListModel::SetSubItem(int row, int index, std::string_view text) {
    bool changed = false;
    const CResult result = m_rows.SetSubItem(row, index, text, &changed);
    if (changed) CellChanged(row, index, Qt::DisplayRole);
    return result;
}

CResult CDeviceListModel::SetIcon(int row, std::string_view key) {
    bool changed = false;
    const CResult result = m_rows.SetIcon(row, key, &changed);
    if (changed) CellChanged(row, 0, Qt::DecorationRole);
    return result;
}
