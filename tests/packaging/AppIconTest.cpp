// Quillon's window icon is drawn from the SVG that the package installs, compiled in.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include "AppIcon.h"
#include "SvgIcon.h"

namespace {

QByteArray InstalledSvg() {
    QFile svg(qEnvironmentVariable("QUILLON_SOURCE_DIR") + "/packaging/icons/quillon.svg");
    if (!svg.open(QIODevice::ReadOnly)) return {};
    return svg.readAll();
}

}  // namespace

TEST(QuillonAppIcon, IsTheInstalledSvgAtEverySize) {
    const QByteArray document = InstalledSvg();
    ASSERT_FALSE(document.isEmpty()) << "QUILLON_SOURCE_DIR must name the sources";
    const QIcon icon = QuillonAppIcon();
    ASSERT_FALSE(icon.isNull()) << "the compiled-in SVG stays within what we can draw";
    EXPECT_EQ(icon.availableSizes().size(), 5);
    for (const int size : {16, 32, 64}) {
        const QImage fromFile = RenderSvgIcon(document, size);
        ASSERT_FALSE(fromFile.isNull());
        EXPECT_EQ(icon.pixmap(size, size).toImage().convertToFormat(fromFile.format()), fromFile)
            << "at " << size << " pixels";
    }
    // The picture itself: the blue arrow above the dark chip, nothing in the corner.
    const QImage image = icon.pixmap(64, 64).toImage();
    EXPECT_EQ(image.pixelColor(32, 8), QColor(0x2e, 0x9b, 0xf0));
    EXPECT_EQ(image.pixelColor(32, 43), QColor(0x2f, 0x3b, 0x52));
    EXPECT_EQ(image.pixelColor(2, 2).alpha(), 0);
}

TEST(QuillonSvgIcon, DrawsRelativePathsAndRefusesTheRest) {
    const QImage image =
        RenderSvgIcon(R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 32 32">
        <g fill="#ff0000"><path d="M4 4 h10 v10 h-10 z"/></g>
        <path d="M20 20 l8 0 l0 8 z" fill="#0000ff" stroke="#00ff00" stroke-width="0.5"/></svg>)",
                      32);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixelColor(9, 9), QColor(255, 0, 0)) << "fill inherited from g";
    EXPECT_EQ(image.pixelColor(16, 16).alpha(), 0) << "h-10 and z close the square at 14";
    EXPECT_EQ(image.pixelColor(26, 22), QColor(0, 0, 255)) << "inside the relative triangle";
    EXPECT_EQ(image.pixelColor(21, 26).alpha(), 0) << "below its diagonal";

    EXPECT_TRUE(
        RenderSvgIcon(R"(<svg viewBox="0 0 8 8"><ellipse cx="4" cy="4" rx="2" ry="1"/></svg>)", 16)
            .isNull());
    EXPECT_TRUE(
        RenderSvgIcon(R"(<svg viewBox="0 0 8 8"><path d="M1 1 Q2 2 5 5"/></svg>)", 16).isNull());
    EXPECT_TRUE(RenderSvgIcon(R"(<svg><rect width="2" height="2"/></svg>)", 16).isNull())
        << "no viewBox to scale by";
}
