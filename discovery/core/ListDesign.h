// SPDX-License-Identifier: Apache-2.0
#pragma once

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
// Where the formula goes below zero the message column keeps this much; the list scrolls sideways.
inline constexpr int kMinMessageWidthTwips = 750;

inline constexpr std::string_view kPlaceholderText = "Scanning...";
inline constexpr int kTimerIntervalMs = 1000;
inline constexpr int kFullCountdown = 6;
// Tag of the placeholder row, which has no countdown.
inline constexpr int kNoCountdown = -1;
// A flood of invented MACs must not grow the list without end; real networks stay far below.
// A new unit arriving at a full list takes the place of the row heard only once longest ago, or,
// when every row was heard again, of the row silent longest.
inline constexpr int kMaxDeviceRows = 1024;

inline constexpr std::string_view kIconAdd = "add";
inline constexpr std::string_view kIconRemove = "remove";
inline constexpr std::string_view kIconNone = "";
