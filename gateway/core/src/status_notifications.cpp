// status_notifications.cpp - the registered notification receiver and the
// four notifications the core sends to it.
#include "status_notifications.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>

namespace {

std::atomic<IStatusNotifications *> g_receiver{nullptr};
// Until when (steady clock, ms) a lasting text holds off the routine ones.
std::atomic<std::int64_t> g_holdUntilMs{0};

std::int64_t SteadyNowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Show(const std::string &text)
{
    if (IStatusNotifications *receiver = g_receiver)
        receiver->PostStatusText(LocalTimeText() + " " + text);
}

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
    g_holdUntilMs = 0;
    Show(text);
}

void PostLastingStatusText(const std::string &text, unsigned holdMs)
{
    g_holdUntilMs = SteadyNowMs() + static_cast<std::int64_t>(holdMs);
    Show(text);
}

void PostRoutineStatusText(const std::string &text)
{
    if (SteadyNowMs() < g_holdUntilMs)
        return;
    Show(text);
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
