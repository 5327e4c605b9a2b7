// glyph_check_test.cpp - the check that the screenshots' Chinese text is
// drawn as glyphs: it must tell real glyphs from empty boxes and from
// nothing at all. Text is drawn here into a bitmap of the test's own.
#include "screen_capture.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Paints a white bitmap with draw() and returns its pixels.
template <class Draw>
ScreenPixels Paint(int width, int height, Draw draw)
{
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info;
    ZeroMemory(&info, sizeof(info));
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all = {0, 0, width, height};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    draw(memory);
    GdiFlush();
    ScreenPixels pixels;
    pixels.width = width;
    pixels.height = height;
    pixels.bgra.assign(static_cast<BYTE *>(bits), static_cast<BYTE *>(bits) + width * height * 4);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

} // namespace

TEST(GlyphCheck, IdenticalBoxesAreNotGlyphs)
{
    const ScreenPixels boxes = Paint(60, 20, [](HDC dc) {
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        SelectObject(dc, GetStockObject(BLACK_PEN));
        for (int i = 0; i < 3; ++i)
            Rectangle(dc, 2 + i * 16, 3, 2 + i * 16 + 12, 17);
    });
    EXPECT_EQ(1, DistinctInkShapes(boxes));
}

TEST(GlyphCheck, NothingDrawnIsNotGlyphs)
{
    const ScreenPixels blank = Paint(60, 20, [](HDC) {});
    EXPECT_EQ(0, DistinctInkShapes(blank));
}

TEST(GlyphCheck, DifferentCharactersAreGlyphs)
{
    const ScreenPixels text = Paint(80, 24, [](HDC dc) {
        HFONT font = CreateFontA(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                                 NONANTIALIASED_QUALITY, 0, "Tahoma");
        HGDIOBJ old = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 2, 2, "用户名", 6);
        SelectObject(dc, old);
        DeleteObject(font);
    });
    EXPECT_GE(DistinctInkShapes(text), 3);
}
