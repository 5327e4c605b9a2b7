// write_queue.cpp - bounded queue of write request frames.
#include "write_queue.h"

#include "write_frame.h"

#include <windows.h>

void CWriteQueue::DropOldestIfFull()
{
    if (m_frames.size() < kCapacity)
        return;
    const std::string &oldest = m_frames.front();
    const std::size_t n = oldest.size() > 2 ? static_cast<unsigned char>(oldest[2]) : 0;
    std::string trace = "[quenlor] write queue full, oldest write dropped: ";
    if (oldest.size() >= kWriteFrameHeader + n)
        trace += oldest.substr(kWriteFrameHeader, n);
    OutputDebugStringA(trace.c_str());
    m_frames.pop_front();
    ++m_dropped;
}

void CWriteQueue::Push(const std::string &frame)
{
    std::function<void()> wakeUp;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        DropOldestIfFull();
        m_frames.push_back(frame);
        wakeUp = m_wakeUp;
    }
    if (wakeUp)
        wakeUp();
}

bool CWriteQueue::Pop(std::string &frame)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_frames.empty())
        return false;
    frame = std::move(m_frames.front());
    m_frames.pop_front();
    return true;
}

void CWriteQueue::PushFront(const std::string &frame)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_frames.size() >= kCapacity) {
        ++m_dropped; // the queue is full of newer writes
        return;
    }
    m_frames.push_front(frame);
}

std::size_t CWriteQueue::Size()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_frames.size();
}

std::size_t CWriteQueue::Dropped()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_dropped;
}

void CWriteQueue::SetWakeUp(std::function<void()> wakeUp)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_wakeUp = std::move(wakeUp);
}
