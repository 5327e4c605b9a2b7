// window_search.h - finding the windows of a process under test: its
// top-level windows by class and title, child dialogs by a control they
// hold, and message boxes with their text and buttons.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace gui {

// Visible top-level windows of the process, optionally of one class and title.
std::vector<HWND> TopLevelWindows(DWORD processId, const char *className = nullptr, const char *title = nullptr);
// The first visible top-level window of that kind, waiting up to timeoutMs.
HWND WaitForTopLevel(DWORD processId, const char *className, const char *title, DWORD timeoutMs);

// A child window (at any depth) of parent that holds a control with this id.
HWND FindDialogHolding(HWND parent, int controlId);
// A descendant of parent of the class with the id.
HWND FindDescendant(HWND parent, const char *className, int id);

// A message box of the process: a dialog with title caption ("Lumaret"
// for the program's own, or a title of its own such as "提示").
struct MessageBoxInfo {
    HWND window = nullptr;
    std::string caption;
    std::string text;
};
// Waits for any visible message box of the process (captions "Lumaret" or
// "提示").
MessageBoxInfo WaitForMessageBox(DWORD processId, DWORD timeoutMs);
// Presses a button of the box (IDOK, IDYES, IDNO, IDCANCEL) and waits until
// the box has gone.
bool AnswerMessageBox(const MessageBoxInfo &box, int button, DWORD timeoutMs = 10000);
// True when a box of the process is open now.
bool AnyMessageBox(DWORD processId);

} // namespace gui
