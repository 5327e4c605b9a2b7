// message_box.h - the program's message boxes: the caption is the program
// title ("Lumaret") unless a title is given, and a box without an icon of
// its own gets the one that suits its buttons.
#pragma once

#include <windows.h>

// MessageBoxA with the program title as caption.
int ShowMessage(HWND owner, const char *text, UINT type = MB_OK);
// MessageBoxA with a caption of its own ("提示").
int ShowMessageTitled(HWND owner, const char *text, const char *title, UINT type);

// The program title, string resource 57344.
const char *ProgramTitle();
