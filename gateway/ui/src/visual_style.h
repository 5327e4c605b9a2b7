// visual_style.h - the look shared by the panels and dialogs: a light
// background for dialogs, panels and their labels, and the system's
// "Explorer" drawing for the tree and the lists where the system has it.
#pragma once

#include <windows.h>

// Background colour of dialogs and panels.
COLORREF PanelBackgroundColour();
HBRUSH PanelBackgroundBrush();

// Answers WM_CTLCOLORDLG and WM_CTLCOLORSTATIC for a dialog procedure:
// returns the brush to use, or null for messages it does not style.
INT_PTR StyleDialogColours(UINT message, WPARAM wParam);

// Explorer-style tree and list drawing (no effect where the system lacks it).
void ApplyExplorerTheme(HWND control);
