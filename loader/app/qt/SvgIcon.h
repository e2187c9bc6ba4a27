#pragma once

#include <QByteArray>
#include <QImage>

// Draws the small SVG subset that the loader's icon uses: svg with a viewBox, g, rect (with rx),
// circle, line and path (M, L, H, V, A with no rotation, Z, absolute or relative), painted with
// fill, stroke, stroke-width, stroke-linecap and opacity. It keeps Qt's SVG module out of the
// dependencies. Returns a null image when the document uses anything else, so that an icon
// edited beyond the subset is noticed rather than drawn wrong.
QImage RenderSvgIcon(const QByteArray& document, int size);
