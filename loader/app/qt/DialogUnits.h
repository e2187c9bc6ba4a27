// SPDX-License-Identifier: Apache-2.0
#pragma once

// Dialog units to pixels as the dialog's font gives them: a horizontal unit is a quarter of
// the font's average character width, a vertical unit an eighth of its height.
struct CDialogUnits {
    int baseX = 6;   // average character width in pixels
    int baseY = 13;  // character height in pixels

    // The width of the 52 letters A-Z a-z, halved twice with rounding, is the platform's
    // average character width.
    static int AverageCharWidth(int widthOfAlphabet) { return (widthOfAlphabet / 26 + 1) / 2; }

    // a * b / c rounded to the nearest integer, halves away from zero.
    static int MulDiv(int a, int b, int c) {
        const long long p = static_cast<long long>(a) * b;
        return static_cast<int>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
    }
    int X(int units) const { return MulDiv(units, baseX, 4); }
    int Y(int units) const { return MulDiv(units, baseY, 8); }
};
