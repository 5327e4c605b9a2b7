// screen_capture.h - pictures of what the program shows: a rectangle of the
// screen as pixels, saved as PNG, and the check that Chinese text was drawn
// with glyphs (not with empty boxes or nothing).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ScreenPixels {
    int width = 0;
    int height = 0;
    std::vector<BYTE> bgra; // top-down rows, 4 bytes a pixel

    COLORREF At(int x, int y) const;
};

ScreenPixels CaptureScreen(const RECT &screenRect);
ScreenPixels CaptureWindow(HWND window);
// PNG through the Windows Imaging Component; COM must be initialised.
bool SavePng(const ScreenPixels &pixels, const std::string &path);

// The number of different shapes of ink in a one-line text picture (dark
// on light), a shape being a run of columns holding ink between empty
// columns. The glyphs of different characters give several shapes; glyphs
// missing from the font are drawn as identical boxes (one shape) or not at
// all (none).
int DistinctInkShapes(const ScreenPixels &text);

// Share of the pixels of a rectangle of the picture that have this colour
// (within a small tolerance).
double ColourShare(const ScreenPixels &pixels, const RECT &area, COLORREF colour);
