// recording_notifications.h - a notification receiver for tests: records
// every status text (time stamp checked and cut off), refresh request and
// login state the gateway core reports, from any thread.
#pragma once

#include "status_notifications.h"

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CRecordingNotifications : public IStatusNotifications {
public:
    CRecordingNotifications();  // registers itself
    ~CRecordingNotifications() override; // unregisters

    void PostStatusText(const std::string &stampedText) override;
    void RequestValueRefresh(int flag) override;
    void ShowLoggedIn() override;
    void ShowLoggedOut() override;

    // Status texts without their time stamps, in order.
    std::vector<std::string> Texts() const;
    // Texts that did not start with "%Y-%m-%d %H:%M:%S ".
    int BadStamps() const;
    int Count(const std::string &text) const;
    // Texts that begin with prefix.
    int CountPrefix(const std::string &prefix) const;
    std::vector<int> Refreshes() const;
    int LoggedIn() const;
    int LoggedOut() const;
    // "in" / "out" in the order the states were shown.
    std::vector<std::string> States() const;
    void Clear();

    // Polls predicate until it holds; false after timeoutMs.
    template <typename Predicate>
    bool WaitFor(Predicate predicate, unsigned timeoutMs) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!predicate()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_texts;
    int m_badStamps = 0;
    std::vector<int> m_refreshes;
    std::vector<std::string> m_states;
};
