#pragma once

#include <cstdint>
#include <string_view>

// How frmMain was laid out: the values its window layer starts from.

struct CColumnDesign {
    std::string_view key;
    std::string_view header;
    int widthTwips;
};

inline constexpr CColumnDesign kDeviceColumns[] = {
    {"device", "Device", 2300},
    {"mac", "MAC", 2100},
    {"ip", "IP Address", 1800},
    {"msg", "Message", 3320},
};
inline constexpr int kDeviceColumnCount = 4;
inline constexpr int kSubItemCount = kDeviceColumnCount - 1;

inline constexpr int kListWidthTwips = 10215;
inline constexpr int kListHeightTwips = 2895;
inline constexpr int kTwipsPerPixelAt96Dpi = 15;
inline constexpr int kMessageMarginTwips = 350;
// Below this the message column would vanish; the list scrolls sideways instead.
inline constexpr int kMinMessageWidthTwips = 750;

inline constexpr std::string_view kPlaceholderText = "Scanning...";
inline constexpr int kTimerIntervalMs = 1000;
inline constexpr int kFullCountdown = 6;
// Tag of the placeholder row, which has no countdown.
inline constexpr int kNoCountdown = -1;
// A flood of invented MACs must not grow the list without end; real networks stay far below.
inline constexpr int kMaxDeviceRows = 1024;

inline constexpr std::string_view kIconAdd = "add";
inline constexpr std::string_view kIconRemove = "remove";
inline constexpr std::string_view kIconNone = "";

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

inline constexpr CRgb BandColourAt(int pixelRow) {
    const int inPicture =
        ((pixelRow % (2 * kBandHeightPixels)) + 2 * kBandHeightPixels) % (2 * kBandHeightPixels);
    return inPicture < kBandHeightPixels ? kBandBlue : kBandWhite;
}
