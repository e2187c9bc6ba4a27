// SPDX-License-Identifier: Apache-2.0
#include "qt/QtDeviceList.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <cmath>

#include "core/RowCopy.h"
#include "qt/ListLook.h"

namespace {

// Rows exactly as tall as one band of the background picture, so each row sits on one band.
class CBandRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kBandHeightPixels};
    }
};

QPixmap BandPicture() {
    QPixmap picture(kBandPictureWidth, 2 * kBandHeightPixels);
    picture.fill(QColor(kBandWhite.red, kBandWhite.green, kBandWhite.blue));
    QPainter painter(&picture);
    painter.fillRect(0, 0, kBandPictureWidth, kBandHeightPixels,
                     QColor(kBandBlue.red, kBandBlue.green, kBandBlue.blue));
    return picture;
}

QFont ListFont(const QFont& fallback) {
    QFont font = fallback;
    if (QFontDatabase::families().contains(QStringLiteral("Verdana"))) {
        font.setFamily(QStringLiteral("Verdana"));
    }
    font.setPointSize(9);
    font.setWeight(QFont::Normal);
    return font;
}

}  // namespace

CQtDeviceList::CQtDeviceList(const CQtImageList& images, double twipsPerPixel, QWidget* parent)
    : QTreeView(parent), m_twipsPerPixel(twipsPerPixel), m_model(images, this) {
    setModel(&m_model);
    setAccessibleName(QStringLiteral("Devices"));
    setFont(ListFont(font()));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(kIconSizePixels, kIconSizePixels));
    setItemDelegate(new CBandRowDelegate(this));
    setAlternatingRowColors(false);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    QPalette colours = viewport()->palette();
    colours.setBrush(QPalette::Base, QBrush(BandPicture()));
    viewport()->setPalette(colours);
    viewport()->setAutoFillBackground(true);

    for (int position = 1; position <= kDeviceColumnCount; ++position) {
        SetColumnWidth(position, kDeviceColumns[position - 1].widthTwips);
    }
    resize(ToPixels(kListWidthTwips), ToPixels(kListHeightTwips));

    m_copyAction = new QAction(QStringLiteral("Copy IP Address"), this);
    m_copyAction->setShortcut(QKeySequence::Copy);
    m_copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_copyAction, &QAction::triggered, this, [this] { CopySelectedAddress(); });
    m_copyRowAction = new QAction(QStringLiteral("Copy Row"), this);
    connect(m_copyRowAction, &QAction::triggered, this, [this] { CopySelectedRow(); });
    m_copyAllAction = new QAction(QStringLiteral("Copy All Rows"), this);
    connect(m_copyAllAction, &QAction::triggered, this, [this] { CopyAllRows(); });
    m_openInQuillonAction = new QAction(QStringLiteral("Open in Quillon"), this);
    connect(m_openInQuillonAction, &QAction::triggered, this, [this] { OpenSelectedInQuillon(); });
    FindQuillonBeside(QCoreApplication::applicationDirPath());
    addActions({m_copyAction, m_copyRowAction, m_copyAllAction, m_openInQuillonAction});
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void CQtDeviceList::FindQuillonBeside(const QString& folder) {
    m_quillon.FindBeside(folder);
    m_openInQuillonAction->setEnabled(m_quillon.Found());
}

bool CQtDeviceList::OpenSelectedInQuillon() {
    std::string_view address;
    // The same address that Copy IP Address takes; the placeholder has none.
    if (!CopyableAddress(m_model.Rows(), SelectedRow(), &address)) return false;
    return m_quillon.Open(address);
}

int CQtDeviceList::ToPixels(int twips) const {
    return static_cast<int>(std::lround(twips / m_twipsPerPixel));
}

int CQtDeviceList::ToTwips(int pixels) const {
    return static_cast<int>(std::lround(pixels * m_twipsPerPixel));
}

std::string_view CQtDeviceList::ColumnKey(int position) const {
    if (position < 1 || position > kDeviceColumnCount) return {};
    return kDeviceColumns[position - 1].key;
}

int CQtDeviceList::ColumnWidth(int position) const {
    if (position < 1 || position > kDeviceColumnCount) return 0;
    const int cached = m_columnTwips[static_cast<std::size_t>(position - 1)];
    const int pixels = header()->sectionSize(position - 1);
    return pixels == ToPixels(cached) ? cached : ToTwips(pixels);
}

CResult CQtDeviceList::SetColumnWidth(int position, int twips) {
    if (position < 1 || position > kDeviceColumnCount) return FailWith(kErrNoSuchColumn);
    if (twips < 0) return FailWith(kErrBadSize);
    m_columnTwips[static_cast<std::size_t>(position - 1)] = twips;
    header()->resizeSection(position - 1, ToPixels(twips));
    return Success();
}

int CQtDeviceList::Left() const {
    return ToTwips(x());
}
int CQtDeviceList::Top() const {
    return ToTwips(y());
}
int CQtDeviceList::Width() const {
    return ToTwips(width());
}
int CQtDeviceList::Height() const {
    return ToTwips(height());
}

CResult CQtDeviceList::Move(int left, int top) {
    move(ToPixels(left), ToPixels(top));
    return Success();
}

CResult CQtDeviceList::SetSize(int width, int height) {
    if (width < 0 || height < 0) return FailWith(kErrBadSize);
    resize(ToPixels(width), ToPixels(height));
    return Success();
}

CResult CQtDeviceList::AddRow(std::string_view text, int* row) {
    *row = m_model.Append(text);
    return Success();
}

CResult CQtDeviceList::RemoveRow(int row) {
    return m_model.Remove(row);
}

CResult CQtDeviceList::Clear() {
    m_model.RemoveAll();
    return Success();
}

CResult CQtDeviceList::RowText(int row, std::string_view* text) const {
    return m_model.Rows().Text(row, text);
}

CResult CQtDeviceList::SetRowText(int row, std::string_view text) {
    return m_model.SetText(row, text);
}

CResult CQtDeviceList::SubItem(int row, int index, std::string_view* text) const {
    return m_model.Rows().SubItem(row, index, text);
}

CResult CQtDeviceList::SetSubItem(int row, int index, std::string_view text) {
    return m_model.SetSubItem(row, index, text);
}

CResult CQtDeviceList::SmallIcon(int row, std::string_view* key) const {
    return m_model.Rows().Icon(row, key);
}

CResult CQtDeviceList::SetSmallIcon(int row, std::string_view key) {
    return m_model.SetIcon(row, key);
}

CResult CQtDeviceList::Tag(int row, int* tag) const {
    return m_model.Rows().Tag(row, tag);
}

CResult CQtDeviceList::SetTag(int row, int tag) {
    return m_model.SetTag(row, tag);
}

CResult CQtDeviceList::FindDevice(std::string_view mac, int* row) const {
    *row = m_model.Rows().FindDevice(mac);
    return Success();
}

int CQtDeviceList::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
}

void CQtDeviceList::PutOnClipboard(const std::string& utf8) {
    QGuiApplication::clipboard()->setText(
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

bool CQtDeviceList::CopySelectedAddress() {
    std::string_view address;
    // The placeholder has no address; copying nothing must not wipe the clipboard.
    if (!CopyableAddress(m_model.Rows(), SelectedRow(), &address)) return false;
    PutOnClipboard(std::string(address));
    return true;
}

bool CQtDeviceList::CopySelectedRow() {
    std::string text;
    if (!CopyRowText(m_model.Rows(), SelectedRow(), &text)) return false;
    PutOnClipboard(text);
    return true;
}

void CQtDeviceList::CopyAllRows() {
    std::string text;
    CopyAllRowsText(m_model.Rows(), &text);
    PutOnClipboard(text);
}

#include "QtDeviceList.moc"
