// write_queue.cpp - bounded, time-limited queue of write request frames.
#include "write_queue.h"

#include "write_frame.h"

#include <windows.h>

#include <chrono>

namespace {

// The item ID of a frame, for traces.
std::string FrameItemId(const std::string &frame)
{
    const std::size_t n = frame.size() > 2 ? static_cast<unsigned char>(frame[2]) : 0;
    return frame.size() >= kWriteFrameHeader + n ? frame.substr(kWriteFrameHeader, n) : std::string();
}

} // namespace

std::uint64_t CWriteQueue::NowMs()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

void CWriteQueue::DropExpired(std::uint64_t nowMs)
{
    std::size_t expired = 0;
    while (!m_frames.empty() && nowMs - m_frames.front().queuedMs > m_maxAgeMs) {
        m_frames.pop_front();
        ++expired;
    }
    if (expired == 0)
        return;
    m_expired += expired;
    const std::string trace = "[quenlor] " + std::to_string(expired) +
                              " queued writes expired before the gateway could take them (" +
                              std::to_string(m_expired) + " since the start)";
    OutputDebugStringA(trace.c_str());
}

void CWriteQueue::Push(const std::string &frame)
{
    std::function<void()> wakeUp;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const std::uint64_t now = NowMs();
        DropExpired(now);
        if (m_frames.size() >= kCapacity) {
            ++m_dropped;
            OutputDebugStringA(("[quenlor] write queue full, write dropped: " + FrameItemId(frame)).c_str());
        } else {
            m_frames.push_back({frame, now});
        }
        wakeUp = m_wakeUp;
    }
    if (wakeUp)
        wakeUp();
}

bool CWriteQueue::Pop(std::string &frame)
{
    std::lock_guard<std::mutex> guard(m_lock);
    DropExpired(NowMs());
    if (m_frames.empty())
        return false;
    frame = std::move(m_frames.front().frame);
    m_poppedQueuedMs = m_frames.front().queuedMs;
    m_frames.pop_front();
    return true;
}

void CWriteQueue::PushFront(const std::string &frame)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_frames.push_front({frame, m_poppedQueuedMs});
    if (m_frames.size() > kCapacity) {
        ++m_dropped; // the newest goes, as in Push
        OutputDebugStringA(("[quenlor] write queue full, write dropped: " + FrameItemId(m_frames.back().frame)).c_str());
        m_frames.pop_back();
    }
}

std::size_t CWriteQueue::Size()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_frames.size();
}

bool CWriteQueue::Full()
{
    std::lock_guard<std::mutex> guard(m_lock);
    DropExpired(NowMs());
    return m_frames.size() >= kCapacity;
}

std::size_t CWriteQueue::Dropped()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_dropped;
}

std::size_t CWriteQueue::Expired()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_expired;
}

void CWriteQueue::SetWakeUp(std::function<void()> wakeUp)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_wakeUp = std::move(wakeUp);
}
