// tray_icon.cpp - notification-area icon and its menu.
#include "tray_icon.h"

#include "resource_ids.h"
#include "ui_messages.h"

#include <shellapi.h>

#if !defined(_WIN64)
static_assert(sizeof(NOTIFYICONDATAA) == 508, "notification data of 508 bytes");
#endif

namespace {

bool Notify(DWORD action, HWND owner)
{
    NOTIFYICONDATAA data;
    ZeroMemory(&data, sizeof(data));
    data.cbSize = sizeof(data);
    data.hWnd = owner;
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_NOTIFY;
    data.hIcon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    lstrcpynA(data.szTip, "Lumaret", sizeof(data.szTip));
    return Shell_NotifyIconA(action, &data) != FALSE;
}

} // namespace

bool CTrayIcon::Add(HWND owner)
{
    return Notify(NIM_ADD, owner);
}

void CTrayIcon::Remove(HWND owner)
{
    NOTIFYICONDATAA data;
    ZeroMemory(&data, sizeof(data));
    data.cbSize = sizeof(data);
    data.hWnd = owner;
    data.uID = kTrayIconId;
    Shell_NotifyIconA(NIM_DELETE, &data);
}

void CTrayIcon::ShowMenu(HWND owner)
{
    POINT cursor;
    GetCursorPos(&cursor);
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAY_MENU));
    if (menu == nullptr)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    // Without the foreground the menu would not close on a click elsewhere.
    SetForegroundWindow(owner);
    TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, owner, nullptr);
    PostMessageA(owner, WM_NULL, 0, 0);
    DestroyMenu(menu);
}
