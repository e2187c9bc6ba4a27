#pragma once

#include <QIcon>

// Pellisk's window icon, drawn from the same SVG that the package installs, which is compiled
// into the program as the resource ":/pellisk/pellisk.svg".
QIcon PelliskAppIcon();
