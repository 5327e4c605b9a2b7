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

// Results of background work (background_task.h), each with lParam the
// result object the receiver takes over.
// To the status panel: the manual login has been answered.
const UINT WM_LOGIN_DONE = WM_APP + 0x102;
// To the project selection: the project list, or the loading of the chosen
// projects' variables, has been answered.
const UINT WM_PROJECTS_LOADED = WM_APP + 0x103;
const UINT WM_VARIABLES_LOADED = WM_APP + 0x104;
// To the main window: the OPC component registration run has ended.
const UINT WM_REGISTRATION_DONE = WM_APP + 0x105;

// Id of the notification-area icon.
const UINT kTrayIconId = 128;
