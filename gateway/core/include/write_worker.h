// write_worker.h - CWriteWorker, the one worker that carries out the
// platform writes of the write request receiver: in the order the frames
// arrived (over every connection), one at a time, from a bounded queue.
// Each outcome is logged with its reason; a failed write is shown in the
// status bar for a while.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

class CWriteVariantAction;

class CWriteWorker {
public:
    static const std::size_t kQueueLimit = 1024;
    // How long a failed write's status text holds off the polling texts.
    static const unsigned kFailureShownMs = 10000;

    // The process's worker; its thread starts with the first write.
    static CWriteWorker &Instance();

    // Queues one write of the item's value. False when the queue is full:
    // the write is dropped, counted and logged.
    bool Post(std::unique_ptr<CWriteVariantAction> action, const std::string &itemId);

    // Writes queued or running.
    int Pending() const;
    // Waits until no write is queued or running; false on time-out.
    bool WaitIdle(unsigned timeoutMs) const;
    // Writes dropped because the queue was full, since the start.
    std::uint64_t Dropped() const;

private:
    struct Write {
        std::unique_ptr<CWriteVariantAction> action;
        std::string itemId;
    };

    CWriteWorker() = default;
    void Run();
    static void Report(const Write &write, bool succeeded);

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::deque<Write> m_queue;
    bool m_running = false; // the thread exists
    bool m_busy = false;    // a write is being carried out
    std::uint64_t m_dropped = 0;
};

// Writes queued or running, and the wait for none (for tests).
int WriteActionsInFlight();
bool WaitForWriteActions(unsigned timeoutMs);
