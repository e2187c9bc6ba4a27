#pragma once
#include <QIcon>

// The loader's window icon, drawn from the same SVG that the package installs, which is compiled
// into the program as the resource ":/quillon/quillon.svg". Null if the SVG cannot be drawn.
QIcon QuillonAppIcon();
