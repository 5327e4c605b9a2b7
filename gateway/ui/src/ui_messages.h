// ui_messages.h - the private window messages of Lumaret's windows.
#pragma once

#include <windows.h>

// Notification-area icon events: wParam the icon id, lParam the mouse message.
const UINT WM_TRAY_NOTIFY = 0x0A06;
// A status-bar text: lParam a text allocated with new[] that the main window
// shows in pane 1 and then deletes (0: empty text).
const UINT WM_STATUS_TEXT = 0x0A07;
// Refresh the state and value columns of the variable list (to the main
// view); wParam 0 after a value query, 1 after values were invalidated.
const UINT WM_REFRESH_VALUES = 0x22B9;
// To the status panel: wParam 1 shows the logged-in state, 0 the
// logged-out state. Posted so that the changes keep their call order
// whichever thread makes them.
const UINT WM_SHOW_LOGIN_STATE = WM_APP + 0x101;

// Id of the notification-area icon.
const UINT kTrayIconId = 128;
