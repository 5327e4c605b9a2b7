// search_edit.cpp - prompt, magnifier and clear mark of the search edit.
#include "search_edit.h"

#include <commctrl.h>

#include <vector>

namespace {

const UINT_PTR kSubclassId = 1;
const int kMarkWidth = 16;

} // namespace

void CSearchEdit::Attach(HWND edit, const char *prompt)
{
    m_edit = edit;
    const int length = MultiByteToWideChar(CP_ACP, 0, prompt, -1, nullptr, 0);
    std::vector<WCHAR> wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, prompt, -1, wide.data(), length);
    SendMessageW(edit, EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(wide.data()));
    SetWindowSubclass(edit, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    // Makes the edit give up the room of the mark at its right end.
    SetWindowPos(edit, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void CSearchEdit::OnTextChanged()
{
    RedrawWindow(m_edit, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
}

bool CSearchEdit::IsOnMark(LPARAM screenPoint) const
{
    POINT point = {static_cast<short>(LOWORD(screenPoint)), static_cast<short>(HIWORD(screenPoint))};
    RECT window;
    GetWindowRect(m_edit, &window);
    point.x -= window.left;
    point.y -= window.top;
    const RECT mark = MarkRect();
    return PtInRect(&mark, point) != FALSE;
}

bool CSearchEdit::HasText() const
{
    return GetWindowTextLengthA(m_edit) > 0;
}

RECT CSearchEdit::MarkRect() const
{
    RECT window;
    GetWindowRect(m_edit, &window);
    POINT origin = {0, 0};
    ClientToScreen(m_edit, &origin);
    RECT client;
    GetClientRect(m_edit, &client);
    const int left = origin.x - window.left + client.right;
    const int top = origin.y - window.top;
    RECT mark = {left, top, left + kMarkWidth, top + client.bottom};
    return mark;
}

void CSearchEdit::PaintMark()
{
    HDC dc = GetWindowDC(m_edit);
    if (dc == nullptr)
        return;
    const RECT mark = MarkRect();
    const bool enabled = IsWindowEnabled(m_edit) != FALSE;
    FillRect(dc, &mark, GetSysColorBrush(enabled ? COLOR_WINDOW : COLOR_BTNFACE));
    HPEN pen = CreatePen(PS_SOLID, 2, RGB(128, 128, 128));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    const int cx = (mark.left + mark.right) / 2;
    const int cy = (mark.top + mark.bottom) / 2;
    if (HasText()) {
        MoveToEx(dc, cx - 3, cy - 3, nullptr);
        LineTo(dc, cx + 4, cy + 4);
        MoveToEx(dc, cx + 3, cy - 3, nullptr);
        LineTo(dc, cx - 4, cy + 4);
    } else {
        Ellipse(dc, cx - 5, cy - 5, cx + 3, cy + 3);
        MoveToEx(dc, cx + 2, cy + 2, nullptr);
        LineTo(dc, cx + 5, cy + 5);
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    ReleaseDC(m_edit, dc);
}

LRESULT CALLBACK CSearchEdit::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                           DWORD_PTR data)
{
    CSearchEdit *self = reinterpret_cast<CSearchEdit *>(data);
    switch (message) {
    case WM_NCCALCSIZE: {
        const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        RECT *client = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS *>(lParam)->rgrc[0]
                              : reinterpret_cast<RECT *>(lParam);
        if (client->right - client->left > kMarkWidth)
            client->right -= kMarkWidth;
        return result;
    }
    case WM_NCPAINT: {
        const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        self->PaintMark();
        return result;
    }
    case WM_NCHITTEST:
        if (self->IsOnMark(lParam))
            return HTBORDER;
        break;
    case WM_NCLBUTTONDOWN:
        if (wParam == HTBORDER && self->IsOnMark(lParam) && self->HasText()) {
            SetWindowTextA(window, "");
            SetFocus(window);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, SubclassProc, kSubclassId);
        break;
    default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
