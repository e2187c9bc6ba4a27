// SPDX-License-Identifier: Apache-2.0
#include "AppIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

QIcon QuillonAppIcon() {
    QSvgRenderer renderer(QStringLiteral(":/quillon/quillon.svg"));
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
