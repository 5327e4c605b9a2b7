// busy_cursor.h - the pointer shape while the program works in the
// background: as long as one background operation runs (a login, a project
// query, the OPC registration), the pointer over the program's windows is
// the "working in the background" arrow; the windows stay usable.
#pragma once

#include <windows.h>

// Window thread only; each BeginBusy is matched by one EndBusy.
void BeginBusy();
void EndBusy();
bool IsBusy();

// For WM_SETCURSOR (lParam as received): sets the background cursor over a
// client area while busy; true when it did, and the message is handled.
bool SetBusyCursor(LPARAM lParam);
