// png_resource.h - a PNG picture from the program's resources as a 32-bit
// bitmap with premultiplied alpha, ready for AlphaBlend.
#pragma once

#include <windows.h>

struct PngPicture {
    HBITMAP bitmap = nullptr; // 32-bit top-down DIB section, premultiplied alpha
    int width = 0;
    int height = 0;
};

// Decodes resource id of type "PNG" through the Windows Imaging Component
// (COM must be initialised on the calling thread). An empty picture when the
// resource is missing or cannot be decoded.
PngPicture LoadPngResource(HINSTANCE instance, int id);
