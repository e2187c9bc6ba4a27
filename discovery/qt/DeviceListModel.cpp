#include "qt/DeviceListModel.h"

#include "qt/DisplayString.h"
#include "qt/QtImageList.h"

CDeviceListModel::CDeviceListModel(const CQtImageList& images, QObject* parent)
    : QAbstractTableModel(parent), m_images(images) {}

int CDeviceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int CDeviceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kDeviceColumnCount;
}

QVariant CDeviceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count() || index.column() >= kDeviceColumnCount) {
        return {};
    }
    const CDeviceRow& row = Row(index.row());
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

void CDeviceListModel::Append(std::string_view text) {
    beginInsertRows(QModelIndex(), Count(), Count());
    m_rows.emplace_back();
    m_rows.back().text.assign(text);
    endInsertRows();
}

void CDeviceListModel::Remove(int row) {
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void CDeviceListModel::RemoveAll() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void CDeviceListModel::CellChanged(int row, int column, int role) {
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {role});
}

// Unchanged text is not written again: a steady stream of refreshes then costs no allocation.
void CDeviceListModel::SetText(int row, std::string_view text) {
    std::string& cell = m_rows[static_cast<std::size_t>(row)].text;
    if (cell == text) return;
    cell.assign(text);
    CellChanged(row, 0, Qt::DisplayRole);
}

void CDeviceListModel::SetSubItem(int row, int index, std::string_view text) {
    std::string& cell =
        m_rows[static_cast<std::size_t>(row)].subItems[static_cast<std::size_t>(index - 1)];
    if (cell == text) return;
    cell.assign(text);
    CellChanged(row, index, Qt::DisplayRole);
}

void CDeviceListModel::SetIcon(int row, std::string_view key) {
    std::string& icon = m_rows[static_cast<std::size_t>(row)].icon;
    if (icon == key) return;
    icon.assign(key);
    CellChanged(row, 0, Qt::DecorationRole);
}
