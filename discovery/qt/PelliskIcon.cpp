#include "qt/PelliskIcon.h"

#include <QFile>
#include <QPixmap>

#include "qt/SvgPicture.h"

QIcon PelliskAppIcon() {
    QFile file(QStringLiteral(":/pellisk/pellisk.svg"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray document = file.readAll();
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64}) {
        const QImage image = RenderSvg(document, size);
        if (image.isNull()) return {};
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
