// screen_capture.cpp - screen pixels, PNG files and the glyph check.
#include "screen_capture.h"

#include <wincodec.h>

#include <algorithm>
#include <cstdlib>
#include <set>

COLORREF ScreenPixels::At(int x, int y) const
{
    const std::size_t offset = (static_cast<std::size_t>(y) * width + x) * 4;
    return RGB(bgra[offset + 2], bgra[offset + 1], bgra[offset]);
}

ScreenPixels CaptureScreen(const RECT &screenRect)
{
    ScreenPixels pixels;
    pixels.width = screenRect.right - screenRect.left;
    pixels.height = screenRect.bottom - screenRect.top;
    if (pixels.width <= 0 || pixels.height <= 0)
        return ScreenPixels();
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info;
    ZeroMemory(&info, sizeof(info));
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = pixels.width;
    info.bmiHeader.biHeight = -pixels.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, pixels.width, pixels.height, screen, screenRect.left, screenRect.top, SRCCOPY);
    GdiFlush();
    const std::size_t size = static_cast<std::size_t>(pixels.width) * pixels.height * 4;
    pixels.bgra.assign(static_cast<BYTE *>(bits), static_cast<BYTE *>(bits) + size);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    for (std::size_t i = 3; i < pixels.bgra.size(); i += 4)
        pixels.bgra[i] = 255;
    return pixels;
}

ScreenPixels CaptureWindow(HWND window)
{
    RECT bounds;
    GetWindowRect(window, &bounds);
    return CaptureScreen(bounds);
}

bool SavePng(const ScreenPixels &pixels, const std::string &path)
{
    if (pixels.width <= 0 || pixels.height <= 0)
        return false;
    IWICImagingFactory *factory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void **>(&factory))))
        return false;
    WCHAR widePath[MAX_PATH * 2] = L"";
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH * 2);
    bool saved = false;
    IWICStream *stream = nullptr;
    IWICBitmapEncoder *encoder = nullptr;
    IWICBitmapFrameEncode *frame = nullptr;
    IPropertyBag2 *options = nullptr;
    if (SUCCEEDED(factory->CreateStream(&stream)) && SUCCEEDED(stream->InitializeFromFilename(widePath, GENERIC_WRITE)) &&
        SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
        SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
        SUCCEEDED(encoder->CreateNewFrame(&frame, &options)) && SUCCEEDED(frame->Initialize(options)) &&
        SUCCEEDED(frame->SetSize(static_cast<UINT>(pixels.width), static_cast<UINT>(pixels.height)))) {
        WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
        frame->SetPixelFormat(&format);
        const UINT stride = static_cast<UINT>(pixels.width) * 4;
        saved = SUCCEEDED(frame->WritePixels(static_cast<UINT>(pixels.height), stride,
                                             static_cast<UINT>(pixels.bgra.size()),
                                             const_cast<BYTE *>(pixels.bgra.data()))) &&
                SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    }
    if (options != nullptr)
        options->Release();
    if (frame != nullptr)
        frame->Release();
    if (encoder != nullptr)
        encoder->Release();
    if (stream != nullptr)
        stream->Release();
    factory->Release();
    return saved;
}

namespace {

bool IsInk(COLORREF colour)
{
    const int luminance = (GetRValue(colour) * 30 + GetGValue(colour) * 59 + GetBValue(colour) * 11) / 100;
    return luminance < 128;
}

} // namespace

int DistinctGlyphCells(const ScreenPixels &text, int characters)
{
    int left = text.width;
    int right = -1;
    int top = text.height;
    int bottom = -1;
    for (int y = 0; y < text.height; ++y)
        for (int x = 0; x < text.width; ++x)
            if (IsInk(text.At(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right < 0 || characters <= 0)
        return 0;
    const int cellWidth = (right - left + 1) / characters;
    if (cellWidth <= 0)
        return 0;
    std::vector<std::string> cells;
    for (int cell = 0; cell < characters; ++cell) {
        std::string pattern;
        for (int y = top; y <= bottom; ++y)
            for (int x = left + cell * cellWidth; x < left + (cell + 1) * cellWidth; ++x)
                pattern.push_back(IsInk(text.At(x, y)) ? '#' : '.');
        cells.push_back(pattern);
    }
    int distinct = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        bool unique = true;
        for (std::size_t j = 0; j < cells.size(); ++j)
            if (i != j && cells[i] == cells[j])
                unique = false;
        if (unique && cells[i].find('#') != std::string::npos)
            ++distinct;
    }
    return distinct;
}

double ColourShare(const ScreenPixels &pixels, const RECT &area, COLORREF colour)
{
    int matching = 0;
    int total = 0;
    for (int y = std::max(0, static_cast<int>(area.top)); y < std::min(pixels.height, static_cast<int>(area.bottom)); ++y)
        for (int x = std::max(0, static_cast<int>(area.left)); x < std::min(pixels.width, static_cast<int>(area.right)); ++x) {
            const COLORREF pixel = pixels.At(x, y);
            ++total;
            if (std::abs(GetRValue(pixel) - GetRValue(colour)) <= 3 &&
                std::abs(GetGValue(pixel) - GetGValue(colour)) <= 3 &&
                std::abs(GetBValue(pixel) - GetBValue(colour)) <= 3)
                ++matching;
        }
    return total == 0 ? 0.0 : static_cast<double>(matching) / total;
}
