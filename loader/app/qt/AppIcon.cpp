#include "AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A circuit board with a download arrow: firmware going into the unit.
QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;

    const QRectF board(s * 0.06, s * 0.06, s * 0.88, s * 0.88);
    p.setPen(QPen(QColor(20, 60, 30), s / 32.0));
    p.setBrush(QColor(40, 130, 70));
    p.drawRoundedRect(board, s * 0.12, s * 0.12);

    // Pins along the bottom edge.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 190, 80));
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(s * (0.18 + 0.18 * i), s * 0.78, s * 0.1, s * 0.1));

    QPainterPath arrow;
    arrow.moveTo(s * 0.40, s * 0.14);
    arrow.lineTo(s * 0.60, s * 0.14);
    arrow.lineTo(s * 0.60, s * 0.42);
    arrow.lineTo(s * 0.76, s * 0.42);
    arrow.lineTo(s * 0.50, s * 0.70);
    arrow.lineTo(s * 0.24, s * 0.42);
    arrow.lineTo(s * 0.40, s * 0.42);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(30, 30, 30), s / 40.0));
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    return pixmap;
}

}  // namespace

QIcon QuillonAppIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64}) icon.addPixmap(DrawIcon(size));
    return icon;
}
