// status_bar.cpp - the status bar's panes and texts.
#include "status_bar.h"

#include <commctrl.h>

bool CStatusBar::Create(HWND parent, int id)
{
    m_bar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    return m_bar != nullptr;
}

void CStatusBar::SetupPanes(const char *idleText, const char *firstText)
{
    // Right edges: pane 0 ends where it starts, pane 1 runs to the end.
    int edges[2] = {0, -1};
    SendMessageA(m_bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
    SendMessageA(m_bar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(idleText));
    SendMessageA(m_bar, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>(firstText));
}

void CStatusBar::SetPaneText(int pane, const char *text)
{
    SendMessageA(m_bar, SB_SETTEXTA, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(text));
    UpdateWindow(m_bar);
}

void CStatusBar::Reposition()
{
    SendMessageA(m_bar, WM_SIZE, 0, 0);
}

int CStatusBar::Height() const
{
    RECT bounds = {0, 0, 0, 0};
    GetWindowRect(m_bar, &bounds);
    return bounds.bottom - bounds.top;
}
