// window_notifications.cpp - the notifications as window messages.
#include "window_notifications.h"

#include "child_view.h"
#include "main_frame.h"
#include "state_dialog.h"
#include "ui_messages.h"

#include <cstring>

namespace {

HWND MainWindowIfAny()
{
    CMainFrame *frame = CMainFrame::Instance();
    if (frame == nullptr || !IsWindow(frame->Hwnd()))
        return nullptr;
    return frame->Hwnd();
}

} // namespace

void CWindowNotifications::PostStatusText(const std::string &stampedText)
{
    HWND frame = MainWindowIfAny();
    if (frame == nullptr)
        return;
    // The window deletes the text once it has shown it.
    char *text = new char[stampedText.size() + 1];
    std::memcpy(text, stampedText.c_str(), stampedText.size() + 1);
    if (GetWindowThreadProcessId(frame, nullptr) == GetCurrentThreadId()) {
        SendMessageA(frame, WM_STATUS_TEXT, 0, reinterpret_cast<LPARAM>(text));
        return;
    }
    // A worker waits for the window thread, but not forever: the window
    // thread may itself be waiting for a lock that this worker holds. A text
    // whose wait ended is still shown (and deleted) by the window later.
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(frame, WM_STATUS_TEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                             kStatusTextWaitMs, &result) &&
        !IsWindow(frame))
        delete[] text;
}

void CWindowNotifications::RequestValueRefresh(int flag)
{
    CChildView *view = CChildView::Instance();
    if (MainWindowIfAny() == nullptr || view == nullptr || !IsWindow(view->Hwnd()))
        return;
    PostMessageA(view->Hwnd(), WM_REFRESH_VALUES, static_cast<WPARAM>(flag), 0);
}

void CWindowNotifications::ShowLoggedIn()
{
    CStateDialog *panel = CStateDialog::Instance();
    if (panel != nullptr && IsWindow(panel->Hwnd()))
        panel->RequestLoggedIn();
}

void CWindowNotifications::ShowLoggedOut()
{
    CStateDialog *panel = CStateDialog::Instance();
    if (panel != nullptr && IsWindow(panel->Hwnd()))
        panel->RequestLoggedOut();
}
