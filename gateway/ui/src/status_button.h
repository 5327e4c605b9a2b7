// status_button.h - CStatusButton, the owner-drawn button at the top of the
// status panel: a picture, a face colour, a caption (the window text) and a
// description line below the caption. The description answers BCM_GETNOTE
// and BCM_GETNOTELENGTH like a button note does.
#pragma once

#include "png_resource.h"

#include <windows.h>

#include <string>

class CStatusButton {
public:
    CStatusButton() = default;
    ~CStatusButton();
    CStatusButton(const CStatusButton &) = delete;
    CStatusButton &operator=(const CStatusButton &) = delete;

    // Takes over the dialog's button control (BS_OWNERDRAW).
    void Attach(HWND button);
    HWND Hwnd() const { return m_button; }

    // The picture is owned by the caller and must outlive the button.
    void SetImage(const PngPicture *picture);
    void SetFaceColour(COLORREF colour);
    void SetCaption(const char *caption);
    void SetDescription(const std::string &description);
    const std::string &Description() const { return m_description; }
    // Redraws the button with its background erased.
    void Invalidate();

    // WM_DRAWITEM of the button, forwarded by its dialog.
    void Draw(const DRAWITEMSTRUCT &item);

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    void CreateFonts();

    HWND m_button = nullptr;
    const PngPicture *m_picture = nullptr;
    COLORREF m_face = RGB(193, 193, 193);
    std::string m_description;
    HFONT m_captionFont = nullptr;
    HFONT m_descriptionFont = nullptr;
};
