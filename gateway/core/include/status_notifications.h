// status_notifications.h - the four notifications through which the gateway
// core reports to the window: a status-bar text, the two login states of the
// status panel, and a request to refresh the value columns. The window
// implements IStatusNotifications and registers it; the core calls the free
// functions below from any thread.
#pragma once

#include <string>

class IStatusNotifications {
public:
    virtual ~IStatusNotifications() = default;

    // Show the text in the status bar. The text is complete: local time as
    // "%Y-%m-%d %H:%M:%S", one blank, then the message (which may be empty).
    // Called from any thread; the caller may block until the GUI thread has
    // taken the text.
    virtual void PostStatusText(const std::string &stampedText) = 0;
    // Refresh the state and value columns of the variable list: flag 0 after
    // a successful value query, 1 after values were invalidated. Must not block.
    virtual void RequestValueRefresh(int flag) = 0;
    // The status panel shows the logged-in state with now as its login time.
    virtual void ShowLoggedIn() = 0;
    // The status panel shows the logged-out state and clears its login time.
    virtual void ShowLoggedOut() = 0;
};

// Registers the receiver (null: none). Until one is registered every
// notification does nothing. The receiver must outlive its registration.
void SetStatusNotifications(IStatusNotifications *receiver);
IStatusNotifications *GetStatusNotifications();

// What the core calls. PostStatusText puts the local time and a blank in
// front of the text before it hands it to the receiver.
void PostStatusText(const std::string &text);
// A text the operator must get to read (a failed write): for holdMs the
// routine texts below do not replace it; any other text does.
void PostLastingStatusText(const std::string &text, unsigned holdMs);
// The polling worker's progress and idle texts, which come every second:
// shown unless a lasting text is still held.
void PostRoutineStatusText(const std::string &text);
void RequestValueRefresh(int flag);
void ShowLoggedIn();
void ShowLoggedOut();

// "%Y-%m-%d %H:%M:%S" of the current local time.
std::string LocalTimeText();
