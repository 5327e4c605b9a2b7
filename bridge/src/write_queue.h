// write_queue.h - client writes waiting to go to the gateway. Writes made
// while the client reconnects, or before the client exists, wait here in
// order instead of being lost - but only briefly: a write is a command to a
// machine, and one that could not go out within kMaxAgeMs is dropped (with
// a debugger trace and a count) rather than carried out late. The queue
// holds at most kCapacity frames; the host's write check refuses new writes
// while it is full, and a frame that still finds it full is dropped, the
// newest, as the gateway's own write queue does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

class CWriteQueue {
public:
    static constexpr std::size_t kCapacity = 1024;
    static constexpr unsigned kMaxAgeMs = 5000;

    explicit CWriteQueue(unsigned maxAgeMs = kMaxAgeMs) : m_maxAgeMs(maxAgeMs) {}

    // Appends a frame, or drops it when the queue is full; wakes the sender
    // when one is attached.
    void Push(const std::string &frame);
    // The oldest frame that is not too old; false when none waits.
    bool Pop(std::string &frame);
    // Puts back the frame last popped (its send failed; the sender has one
    // frame out at a time), ahead of the others, with the time it was first
    // queued.
    void PushFront(const std::string &frame);
    std::size_t Size();
    bool Full();
    // Frames dropped because the queue was full, and because they waited
    // too long, since the start.
    std::size_t Dropped();
    std::size_t Expired();
    // Called (on the pushing thread) after every Push.
    void SetWakeUp(std::function<void()> wakeUp);

private:
    struct Entry {
        std::string frame;
        std::uint64_t queuedMs;
    };

    // Called with the lock held.
    void DropExpired(std::uint64_t nowMs);
    static std::uint64_t NowMs();

    const unsigned m_maxAgeMs;
    std::mutex m_lock;
    std::deque<Entry> m_frames;
    std::function<void()> m_wakeUp;
    std::size_t m_dropped = 0;
    std::size_t m_expired = 0;
    std::uint64_t m_poppedQueuedMs = 0; // queue time of the frame last popped
};
