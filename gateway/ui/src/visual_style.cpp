// visual_style.cpp - panel colours and the themed look of tree and lists.
#include "visual_style.h"

#include <uxtheme.h>

COLORREF PanelBackgroundColour()
{
    return RGB(238, 238, 242);
}

HBRUSH PanelBackgroundBrush()
{
    // Created once, kept for the life of the program.
    static HBRUSH brush = CreateSolidBrush(PanelBackgroundColour());
    return brush;
}

INT_PTR StyleDialogColours(UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(PanelBackgroundBrush());
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, PanelBackgroundColour());
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<INT_PTR>(PanelBackgroundBrush());
    }
    default:
        return 0;
    }
}

void ApplyExplorerTheme(HWND control)
{
    SetWindowTheme(control, L"Explorer", nullptr);
}
