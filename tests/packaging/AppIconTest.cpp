// SPDX-License-Identifier: Apache-2.0
// Quillon's window icon is drawn from the SVG that the package installs, compiled in.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include "AppIcon.h"

namespace {

QImage InstalledSvgAt(int size) {
    QFile svg(qEnvironmentVariable("QUILLON_SOURCE_DIR") + "/packaging/icons/quillon.svg");
    if (!svg.open(QIODevice::ReadOnly)) return {};
    QSvgRenderer renderer(svg.readAll());
    if (!renderer.isValid()) return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

}  // namespace

TEST(QuillonAppIcon, IsTheInstalledSvgAtEverySize) {
    ASSERT_FALSE(InstalledSvgAt(16).isNull()) << "QUILLON_SOURCE_DIR must name the sources";
    const QIcon icon = QuillonAppIcon();
    ASSERT_FALSE(icon.isNull()) << "the SVG is compiled in and Qt SVG draws it";
    EXPECT_EQ(icon.availableSizes().size(), 5);
    for (const int size : {16, 32, 64}) {
        const QImage fromFile = InstalledSvgAt(size);
        EXPECT_EQ(icon.pixmap(size, size).toImage().convertToFormat(fromFile.format()), fromFile)
            << "at " << size << " pixels";
    }
    // The picture itself: the blue arrow above the dark chip, nothing in the corner.
    const QImage image = icon.pixmap(64, 64).toImage();
    EXPECT_EQ(image.pixelColor(32, 8), QColor(0x2e, 0x9b, 0xf0));
    EXPECT_EQ(image.pixelColor(32, 43), QColor(0x2f, 0x3b, 0x52));
    EXPECT_EQ(image.pixelColor(2, 2).alpha(), 0);
}
