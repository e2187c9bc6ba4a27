// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>

// How lstDevices looks on screen: its row icons and its banded background picture.

struct CRgb {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

inline constexpr int kIconSizePixels = 16;
inline constexpr CRgb kAddFill{50, 182, 22};
inline constexpr CRgb kAddOutline{2, 102, 2};
inline constexpr CRgb kRemoveFill{255, 0, 0};
inline constexpr CRgb kRemoveOutline{143, 2, 2};

// The list's background picture: 31 x 34 pixels, top half pale blue, bottom half white, tiled.
inline constexpr int kBandPictureWidth = 31;
inline constexpr int kBandHeightPixels = 17;
inline constexpr CRgb kBandBlue{208, 225, 253};
inline constexpr CRgb kBandWhite{255, 255, 255};
