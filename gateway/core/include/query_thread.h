// query_thread.h - the value polling worker and its watchdog. The worker
// polls the selected variables once a second (each cycle starts a second
// after the previous one started, however long its query took), logs in
// again when there is no session or five queries in a row failed; the
// watchdog replaces a worker that has not checked in for more than 60
// ticks. A replaced worker's transfer is aborted and it ends itself.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The worker's and the watchdog's intervals; tests shorten them.
struct PollingTiming {
    unsigned cycleMs = 1000;         // pause at the start of each cycle
    unsigned retryMs = 1000;         // pause after a failed value query
    unsigned reloginMs = 1000;       // pause before each login attempt
    unsigned watchdogTickMs = 1000;  // one watchdog tick
    int watchdogLimit = 60;          // a worker silent for more ticks is replaced
    unsigned replaceWaitMs = 10000;  // longest wait for a replaced worker to end
};

class CQueryThread {
public:
    static CQueryThread &GetInstance();

    CQueryThread() = default;
    ~CQueryThread();
    CQueryThread(const CQueryThread &) = delete;
    CQueryThread &operator=(const CQueryThread &) = delete;

    // Starts the worker and the watchdog; false when they already run.
    bool Start(const PollingTiming &timing = PollingTiming());
    // Ends the watchdog and the worker (its transfer is aborted); waits up
    // to waitMs for both. True when both have ended.
    bool Stop(unsigned waitMs = 10000);
    bool IsStarted() const;

    // Stores the user name and password the worker logs in with into the
    // data model, both under one lock.
    static void SetCredentials(const std::string &userName, const std::string &password);

    // Watchdog state, for tests and diagnostics.
    int CheckInCounter() const { return m_counter.load(); }
    unsigned Restarts() const { return m_restarts.load(); }

private:
    struct Worker;

    bool StartWorker();
    void WorkerMain(std::shared_ptr<Worker> worker);
    void WatchdogMain();
    void Cycle(Worker &worker);
    void Relogin(Worker &worker);
    // Every selected value is from an unreachable source now.
    static void MarkUnreachable();
    bool Pause(Worker &worker, unsigned ms);
    bool PauseWatchdog(unsigned ms);

    PollingTiming m_timing;
    std::atomic<int> m_counter{0};
    std::atomic<unsigned> m_restarts{0};

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_started = false;
    bool m_stopping = false;
    std::shared_ptr<Worker> m_worker;
    std::thread m_watchdog;
};

// The process's polling worker: started once by the window's start-up.
bool StartPolling();
void StopPolling();
