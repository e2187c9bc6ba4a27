// SPDX-License-Identifier: Apache-2.0
#include "qt/PelliskIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

QIcon PelliskAppIcon() {
    QSvgRenderer renderer(QStringLiteral(":/pellisk/pellisk.svg"));
    if (!renderer.isValid()) return {};
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
