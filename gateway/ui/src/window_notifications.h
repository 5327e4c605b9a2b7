// window_notifications.h - CWindowNotifications, the window side of the
// gateway core's four notifications: status texts to the main window,
// value refreshes to the main view, login states to the status panel.
#pragma once

#include "status_notifications.h"

#include <windows.h>

// How long a worker waits for the window thread to take a status text.
// The text is shown even when the wait ends first.
const DWORD kStatusTextWaitMs = 2000;

class CWindowNotifications : public IStatusNotifications {
public:
    void PostStatusText(const std::string &stampedText) override;
    void RequestValueRefresh(int flag) override;
    void ShowLoggedIn() override;
    void ShowLoggedOut() override;
};
