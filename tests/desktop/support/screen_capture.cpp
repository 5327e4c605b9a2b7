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

int DistinctInkShapes(const ScreenPixels &text)
{
    // Columns holding ink, grouped into runs separated by empty columns.
    std::vector<bool> inkColumn(static_cast<std::size_t>(text.width), false);
    for (int x = 0; x < text.width; ++x)
        for (int y = 0; y < text.height && !inkColumn[x]; ++y)
            inkColumn[x] = IsInk(text.At(x, y));
    std::set<std::string> shapes;
    for (int x = 0; x < text.width;) {
        if (!inkColumn[x]) {
            ++x;
            continue;
        }
        const int left = x;
        while (x < text.width && inkColumn[x])
            ++x;
        const int right = x; // one past the run
        int top = text.height;
        int bottom = -1;
        for (int y = 0; y < text.height; ++y)
            for (int column = left; column < right; ++column)
                if (IsInk(text.At(column, y))) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        std::string shape = std::to_string(right - left) + ":";
        for (int y = top; y <= bottom; ++y)
            for (int column = left; column < right; ++column)
                shape.push_back(IsInk(text.At(column, y)) ? '#' : '.');
        shapes.insert(shape);
    }
    return static_cast<int>(shapes.size());
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
