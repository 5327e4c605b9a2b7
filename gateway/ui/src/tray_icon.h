// tray_icon.h - CTrayIcon, the program's icon in the notification area
// (id 128, tip "Lumaret"), its events go to the owner as WM_TRAY_NOTIFY.
#pragma once

#include <windows.h>

class CTrayIcon {
public:
    // Adds the icon; when it is there already nothing changes. Also after
    // the taskbar was re-created, which drops every icon.
    static bool Add(HWND owner);
    // Takes the icon away; at the end of the program.
    static void Remove(HWND owner);
    // The popup menu of the icon (menu 312, first submenu) at the cursor.
    static void ShowMenu(HWND owner);
};
