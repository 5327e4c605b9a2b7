// message_box.cpp - message boxes with the program's caption and icons.
#include "message_box.h"

#include "resource_ids.h"

namespace {

UINT WithDefaultIcon(UINT type)
{
    if ((type & MB_ICONMASK) != 0)
        return type;
    switch (type & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL:
        return type | MB_ICONEXCLAMATION;
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return type | MB_ICONQUESTION;
    default:
        return type;
    }
}

} // namespace

const char *ProgramTitle()
{
    static char title[64] = "";
    if (title[0] == '\0' && LoadStringA(GetModuleHandleA(nullptr), IDS_APP_TITLE, title, sizeof(title)) == 0)
        lstrcpynA(title, "Lumaret", sizeof(title));
    return title;
}

int ShowMessage(HWND owner, const char *text, UINT type)
{
    return MessageBoxA(owner, text, ProgramTitle(), WithDefaultIcon(type));
}

int ShowMessageTitled(HWND owner, const char *text, const char *title, UINT type)
{
    return MessageBoxA(owner, text, title, WithDefaultIcon(type));
}
