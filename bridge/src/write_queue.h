// write_queue.h - client writes waiting to go to the gateway. Writes made
// while the gateway is unreachable, while the client reconnects, or before
// the client exists wait here in order instead of being lost. The queue
// holds at most 1024 frames; past that the oldest waiting frame is dropped
// (with a debugger trace), since the newest value of a setpoint matters most.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

class CWriteQueue {
public:
    static constexpr std::size_t kCapacity = 1024;

    // Appends a frame; wakes the sender when one is attached.
    void Push(const std::string &frame);
    // The oldest frame; false when none waits.
    bool Pop(std::string &frame);
    // Puts back a frame whose send failed, ahead of the others.
    void PushFront(const std::string &frame);
    std::size_t Size();
    std::size_t Dropped();
    // Called (on the pushing thread) after every Push.
    void SetWakeUp(std::function<void()> wakeUp);

private:
    void DropOldestIfFull();

    std::mutex m_lock;
    std::deque<std::string> m_frames;
    std::function<void()> m_wakeUp;
    std::size_t m_dropped = 0;
};
