// SPDX-License-Identifier: Apache-2.0
#include "qt/QtImageList.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "core/ListDesign.h"
#include "qt/ListLook.h"

namespace {

QColor ToQColor(CRgb rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

QIcon DrawIcon(const QPainterPath& shape, CRgb fill, CRgb outline) {
    QPixmap pixmap(kIconSizePixels, kIconSizePixels);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(ToQColor(outline), 1));
    painter.setBrush(ToQColor(fill));
    painter.drawPath(shape);
    painter.end();
    return QIcon(pixmap);
}

QIcon DrawPlus() {
    QPainterPath horizontal;
    horizontal.addRect(1.5, 5.5, 12, 4);
    QPainterPath vertical;
    vertical.addRect(5.5, 1.5, 4, 12);
    return DrawIcon(horizontal.united(vertical).simplified(), kAddFill, kAddOutline);
}

QIcon DrawMinus() {
    QPainterPath bar;
    bar.addRect(1.5, 5.5, 12, 4);
    return DrawIcon(bar, kRemoveFill, kRemoveOutline);
}

}  // namespace

CQtImageList::CQtImageList() {
    m_images.push_back({kIconAdd, DrawPlus()});
    m_images.push_back({kIconRemove, DrawMinus()});
    QPixmap blank(kIconSizePixels, kIconSizePixels);
    blank.fill(Qt::transparent);
    m_blank = QIcon(blank);
}

int CQtImageList::IndexOfKey(std::string_view key) const {
    for (std::size_t i = 0; i < m_images.size(); ++i) {
        if (m_images[i].key == key) return static_cast<int>(i) + 1;
    }
    return 0;
}

QIcon CQtImageList::Icon(std::string_view key) const {
    const int index = IndexOfKey(key);
    return index == 0 ? m_blank : m_images[static_cast<std::size_t>(index) - 1].icon;
}
