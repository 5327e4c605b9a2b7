// about_dialog.h - the modal "关于" box: program icon, name and version.
#pragma once

#include <windows.h>

void ShowAboutDialog(HWND owner);
