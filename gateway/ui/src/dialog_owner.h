// dialog_owner.h - the object behind a dialog box, kept in its DWLP_USER slot.
#pragma once

#include <windows.h>

// The dialog is created with its object as the creation parameter: the
// object is stored at WM_INITDIALOG and found again for every later message.
// Messages before WM_INITDIALOG (WM_SETFONT) find no object.
template <class Dialog>
Dialog *DialogOwner(HWND dialog, UINT message, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return reinterpret_cast<Dialog *>(lParam);
    }
    return reinterpret_cast<Dialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
}
