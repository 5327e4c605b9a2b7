// busy_cursor.cpp - the count of background operations and the cursor.
#include "busy_cursor.h"

namespace {

int g_busyCount = 0;

// The pointer takes its new shape at once, not only at the next move:
// moving it to where it is makes the window under it set its cursor again.
void RefreshCursor()
{
    POINT position;
    if (GetCursorPos(&position))
        SetCursorPos(position.x, position.y);
}

} // namespace

void BeginBusy()
{
    if (g_busyCount++ == 0)
        RefreshCursor();
}

void EndBusy()
{
    if (g_busyCount > 0 && --g_busyCount == 0)
        RefreshCursor();
}

bool IsBusy()
{
    return g_busyCount > 0;
}

bool SetBusyCursor(LPARAM lParam)
{
    if (g_busyCount == 0 || LOWORD(lParam) != HTCLIENT)
        return false;
    SetCursor(LoadCursor(nullptr, IDC_APPSTARTING));
    return true;
}
