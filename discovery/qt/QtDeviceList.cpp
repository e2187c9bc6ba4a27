#include "qt/QtDeviceList.h"

#include <QAction>
#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <cmath>

#include "qt/QtImageList.h"

namespace {

// Rows exactly as tall as one band of the background picture, so each row sits on one band.
class CBandRowDelegate : public QStyledItemDelegate {
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
    : QTreeView(parent), m_images(images), m_twipsPerPixel(twipsPerPixel), m_model(images, this) {
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
    addAction(m_copyAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
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
    m_model.Append(text);
    *row = m_model.Count();
    return Success();
}

CResult CQtDeviceList::RemoveRow(int row) {
    if (!HasRow(row)) return FailWith(kErrRowOutOfRange);
    m_model.Remove(row - 1);
    return Success();
}

CResult CQtDeviceList::Clear() {
    m_model.RemoveAll();
    return Success();
}

CResult CQtDeviceList::RowText(int row, std::string_view* text) const {
    if (!HasRow(row)) return FailWith(kErrRowOutOfRange);
    *text = m_model.Row(row - 1).text;
    return Success();
}

CResult CQtDeviceList::SetRowText(int row, std::string_view text) {
    if (!HasRow(row)) return FailWith(kErrRowOutOfRange);
    m_model.SetText(row - 1, text);
    return Success();
}

CResult CQtDeviceList::SubItem(int row, int index, std::string_view* text) const {
    if (!HasRow(row)) return FailWith(kErrRowOutOfRange);
    if (index == 0) return RowText(row, text);
    if (index < 0 || index > kSubItemCount) return FailWith(kErrSubItemOutOfRange);
    *text = m_model.Row(row - 1).subItems[static_cast<std::size_t>(index - 1)];
    return Success();
}

CResult CQtDeviceList::SetSubItem(int row, int index, std::string_view text) {
    if (!HasRow(row)) return FailWith(kErrRowOutOfRange);
    if (index < 1 || index > kSubItemCount) return FailWith(kErrSubItemOutOfRange);
    m_model.SetSubItem(row - 1, index, text);
    return Success();
}

CResult CQtDeviceList::SmallIcon(int row, std::string_view* key) const {
    if (!HasRow(row)) return FailWith(kErrRowOutOfRange);
    *key = m_model.Row(row - 1).icon;
    return Success();
}

CResult CQtDeviceList::SetSmallIcon(int row, std::string_view key) {
    if (!HasRow(row)) return FailWith(kErrRowOutOfRange);
    if (!key.empty() && m_images.IndexOfKey(key) == 0) return FailWith(kErrNoSuchImage);
    m_model.SetIcon(row - 1, key);
    return Success();
}

CResult CQtDeviceList::Tag(int row, int* tag) const {
    if (!HasRow(row)) return FailWith(kErrRowOutOfRange);
    *tag = m_model.Row(row - 1).tag;
    return Success();
}

CResult CQtDeviceList::SetTag(int row, int tag) {
    if (!HasRow(row)) return FailWith(kErrRowOutOfRange);
    m_model.SetTag(row - 1, tag);
    return Success();
}

bool CQtDeviceList::CopySelectedAddress() {
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty()) return false;
    const CDeviceRow& row = m_model.Row(rows.first().row());
    const std::string& address = row.subItems[1];
    // The placeholder has no address; copying nothing must not wipe the clipboard.
    if (row.tag == kNoCountdown || address.empty()) return false;
    QGuiApplication::clipboard()->setText(
        QString::fromLatin1(address.data(), static_cast<qsizetype>(address.size())));
    return true;
}
