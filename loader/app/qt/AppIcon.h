#pragma once
#include <QIcon>

// The loader's icon, drawn at start-up so that no image file has to ship with it.
QIcon QuillonAppIcon();
