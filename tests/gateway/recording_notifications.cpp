// recording_notifications.cpp - the tests' notification receiver.
#include "recording_notifications.h"

#include <regex>

CRecordingNotifications::CRecordingNotifications()
{
    SetStatusNotifications(this);
}

CRecordingNotifications::~CRecordingNotifications()
{
    SetStatusNotifications(nullptr);
}

void CRecordingNotifications::PostStatusText(const std::string &stampedText)
{
    static const std::regex stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ");
    std::lock_guard<std::mutex> guard(m_lock);
    if (stampedText.size() >= 20 && std::regex_search(stampedText.substr(0, 20), stamp)) {
        m_texts.push_back(stampedText.substr(20));
    } else {
        ++m_badStamps;
        m_texts.push_back(stampedText);
    }
}

void CRecordingNotifications::RequestValueRefresh(int flag)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_refreshes.push_back(flag);
}

void CRecordingNotifications::ShowLoggedIn()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_states.push_back("in");
}

void CRecordingNotifications::ShowLoggedOut()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_states.push_back("out");
}

std::vector<std::string> CRecordingNotifications::Texts() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_texts;
}

int CRecordingNotifications::BadStamps() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_badStamps;
}

int CRecordingNotifications::Count(const std::string &text) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    int count = 0;
    for (const std::string &entry : m_texts)
        count += entry == text ? 1 : 0;
    return count;
}

int CRecordingNotifications::CountPrefix(const std::string &prefix) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    int count = 0;
    for (const std::string &entry : m_texts)
        count += entry.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    return count;
}

std::vector<int> CRecordingNotifications::Refreshes() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_refreshes;
}

int CRecordingNotifications::LoggedIn() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    int count = 0;
    for (const std::string &state : m_states)
        count += state == "in" ? 1 : 0;
    return count;
}

int CRecordingNotifications::LoggedOut() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    int count = 0;
    for (const std::string &state : m_states)
        count += state == "out" ? 1 : 0;
    return count;
}

std::vector<std::string> CRecordingNotifications::States() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_states;
}

void CRecordingNotifications::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_texts.clear();
    m_badStamps = 0;
    m_refreshes.clear();
    m_states.clear();
}
