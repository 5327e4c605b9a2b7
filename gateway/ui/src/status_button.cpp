// status_button.cpp - drawing of the status button and its description.
#include "status_button.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace {

const UINT_PTR kSubclassId = 1;
const int kPictureMargin = 8;
const int kTextGap = 8;

COLORREF Darker(COLORREF colour, int percent)
{
    return RGB(GetRValue(colour) * percent / 100, GetGValue(colour) * percent / 100,
               GetBValue(colour) * percent / 100);
}

} // namespace

CStatusButton::~CStatusButton()
{
    if (m_captionFont != nullptr)
        DeleteObject(m_captionFont);
    if (m_descriptionFont != nullptr)
        DeleteObject(m_descriptionFont);
}

void CStatusButton::Attach(HWND button)
{
    m_button = button;
    SetWindowSubclass(button, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    CreateFonts();
}

void CStatusButton::CreateFonts()
{
    HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageA(m_button, WM_GETFONT, 0, 0));
    LOGFONTA base;
    if (dialogFont == nullptr || GetObjectA(dialogFont, sizeof(base), &base) == 0)
        GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof(base), &base);
    LOGFONTA caption = base;
    caption.lfWeight = FW_BOLD;
    caption.lfHeight = base.lfHeight * 3 / 2;
    m_captionFont = CreateFontIndirectA(&caption);
    m_descriptionFont = CreateFontIndirectA(&base);
}

void CStatusButton::SetImage(const PngPicture *picture)
{
    m_picture = picture;
}

void CStatusButton::SetFaceColour(COLORREF colour)
{
    m_face = colour;
}

void CStatusButton::SetCaption(const char *caption)
{
    SetWindowTextA(m_button, caption);
}

void CStatusButton::SetDescription(const std::string &description)
{
    m_description = description;
}

void CStatusButton::Invalidate()
{
    InvalidateRect(m_button, nullptr, TRUE);
}

void CStatusButton::Draw(const DRAWITEMSTRUCT &item)
{
    HDC dc = item.hDC;
    RECT bounds = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;

    HBRUSH face = CreateSolidBrush(m_face);
    FillRect(dc, &bounds, face);
    DeleteObject(face);
    HBRUSH frame = CreateSolidBrush(Darker(m_face, 75));
    FrameRect(dc, &bounds, frame);
    DeleteObject(frame);

    const int shift = pressed ? 1 : 0;
    int textLeft = bounds.left + kPictureMargin;
    if (m_picture != nullptr && m_picture->bitmap != nullptr) {
        const int height = bounds.bottom - bounds.top;
        const int size = std::min(m_picture->height, height - 4);
        const int top = bounds.top + (height - size) / 2 + shift;
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, m_picture->bitmap);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, bounds.left + kPictureMargin + shift, top, size, size, memory, 0, 0, m_picture->width,
                   m_picture->height, blend);
        SelectObject(memory, old);
        DeleteDC(memory);
        textLeft += size + kTextGap;
    }

    const int length = GetWindowTextLengthA(m_button);
    std::vector<char> caption(static_cast<std::size_t>(length) + 1, '\0');
    GetWindowTextA(m_button, caption.data(), length + 1);

    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(30, 30, 30));
    const int middle = (bounds.top + bounds.bottom) / 2;
    RECT captionRect = {textLeft + shift, bounds.top + 2 + shift, bounds.right - 4, middle + shift};
    HGDIOBJ oldFont = SelectObject(dc, m_captionFont);
    DrawTextA(dc, caption.data(), -1, &captionRect, DT_LEFT | DT_BOTTOM | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, m_descriptionFont);
    SetTextColor(dc, RGB(60, 60, 60));
    RECT descriptionRect = {textLeft + shift, middle + 2 + shift, bounds.right - 4, bounds.bottom - 2 + shift};
    DrawTextA(dc, m_description.c_str(), -1, &descriptionRect,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, oldFont);

    if ((item.itemState & ODS_FOCUS) != 0) {
        RECT focus = bounds;
        InflateRect(&focus, -3, -3);
        DrawFocusRect(dc, &focus);
    }
}

LRESULT CALLBACK CStatusButton::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR, DWORD_PTR data)
{
    CStatusButton *self = reinterpret_cast<CStatusButton *>(data);
    switch (message) {
    case BCM_GETNOTELENGTH:
        return MultiByteToWideChar(CP_ACP, 0, self->m_description.c_str(), -1, nullptr, 0) - 1;
    case BCM_GETNOTE: {
        // wParam points at the buffer size in characters, lParam at the buffer.
        DWORD *size = reinterpret_cast<DWORD *>(wParam);
        WCHAR *buffer = reinterpret_cast<WCHAR *>(lParam);
        if (size == nullptr || buffer == nullptr || *size == 0)
            return FALSE;
        const int written = MultiByteToWideChar(CP_ACP, 0, self->m_description.c_str(), -1, buffer,
                                                static_cast<int>(*size));
        if (written == 0) {
            buffer[*size - 1] = L'\0';
            return FALSE;
        }
        return TRUE;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, SubclassProc, kSubclassId);
        break;
    default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
