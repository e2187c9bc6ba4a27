#include "AppIcon.h"

#include <QFile>
#include <QPixmap>

#include "SvgIcon.h"

QIcon QuillonAppIcon() {
    QFile file(QStringLiteral(":/quillon/quillon.svg"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray document = file.readAll();
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64}) {
        const QImage image = RenderSvgIcon(document, size);
        if (image.isNull()) return {};
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
