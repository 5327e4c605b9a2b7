// png_resource.cpp - PNG resources decoded with the Windows Imaging Component.
#include "png_resource.h"

#include <wincodec.h>

#include <cstring>

namespace {

// Releases a COM interface pointer when it goes out of scope.
template <class T>
class ComPointer {
public:
    ComPointer() = default;
    ~ComPointer()
    {
        if (m_pointer != nullptr)
            m_pointer->Release();
    }
    ComPointer(const ComPointer &) = delete;
    ComPointer &operator=(const ComPointer &) = delete;

    T **Out() { return &m_pointer; }
    T *operator->() const { return m_pointer; }
    T *Get() const { return m_pointer; }

private:
    T *m_pointer = nullptr;
};

} // namespace

PngPicture LoadPngResource(HINSTANCE instance, int id)
{
    PngPicture picture;
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id), "PNG");
    if (found == nullptr)
        return picture;
    HGLOBAL loaded = LoadResource(instance, found);
    const DWORD size = SizeofResource(instance, found);
    const void *bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0)
        return picture;

    ComPointer<IWICImagingFactory> factory;
    ComPointer<IWICStream> stream;
    ComPointer<IWICBitmapDecoder> decoder;
    ComPointer<IWICBitmapFrameDecode> frame;
    ComPointer<IWICFormatConverter> converter;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void **>(factory.Out()))) ||
        FAILED(factory->CreateStream(stream.Out())) ||
        FAILED(stream->InitializeFromMemory(static_cast<BYTE *>(const_cast<void *>(bytes)), size)) ||
        FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                                decoder.Out())) ||
        FAILED(decoder->GetFrame(0, frame.Out())) || FAILED(factory->CreateFormatConverter(converter.Out())) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom)))
        return picture;

    UINT width = 0;
    UINT height = 0;
    if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0)
        return picture;

    BITMAPINFO info;
    std::memset(&info, 0, sizeof(info));
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (bitmap == nullptr)
        return picture;
    const UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE *>(pixels)))) {
        DeleteObject(bitmap);
        return picture;
    }
    picture.bitmap = bitmap;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    return picture;
}
