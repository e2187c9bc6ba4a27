// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QIcon>

// Pellisk's window icon, drawn by Qt SVG from the same SVG that the package installs, which is
// compiled into the program as the resource ":/pellisk/pellisk.svg". Null if it cannot be read.
QIcon PelliskAppIcon();
