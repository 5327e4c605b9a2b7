// status_notifications.cpp - the registered notification receiver and the
// four notifications the core sends to it.
#include "status_notifications.h"

#include <atomic>
#include <ctime>

namespace {

std::atomic<IStatusNotifications *> g_receiver{nullptr};

} // namespace

void SetStatusNotifications(IStatusNotifications *receiver)
{
    g_receiver = receiver;
}

IStatusNotifications *GetStatusNotifications()
{
    return g_receiver;
}

std::string LocalTimeText()
{
    char text[128];
    const __time64_t now = _time64(nullptr);
    struct tm local;
    if (_localtime64_s(&local, &now) != 0 || std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local) == 0)
        return std::string();
    return text;
}

void PostStatusText(const std::string &text)
{
    if (IStatusNotifications *receiver = g_receiver)
        receiver->PostStatusText(LocalTimeText() + " " + text);
}

void RequestValueRefresh(int flag)
{
    if (IStatusNotifications *receiver = g_receiver)
        receiver->RequestValueRefresh(flag);
}

void ShowLoggedIn()
{
    if (IStatusNotifications *receiver = g_receiver)
        receiver->ShowLoggedIn();
}

void ShowLoggedOut()
{
    if (IStatusNotifications *receiver = g_receiver)
        receiver->ShowLoggedOut();
}
