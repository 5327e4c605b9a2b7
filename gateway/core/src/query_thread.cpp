// query_thread.cpp - CQueryThread: the polling worker's cycle, Relogin and
// the watchdog that replaces a silent worker.
#include "query_thread.h"

#include "console_output.h"
#include "login_action.h"
#include "manager.h"
#include "query_variant_value_action.h"
#include "status_notifications.h"

#include <windows.h>

#include <chrono>
#include <system_error>

// One worker generation. A replaced or stopped worker has stop set: its
// pauses end, its transfer is aborted, and it ends at its next check.
struct CQueryThread::Worker {
    explicit Worker(const PollingTiming &timing) : timing(timing) {}

    const PollingTiming timing;
    std::atomic<bool> stop{false};
    // Start of the previous cycle: cycles begin cycleMs apart, whatever the
    // query took (a query longer than that starts the next cycle at once).
    ULONGLONG lastCycle = 0;
    std::mutex lock;
    std::condition_variable wake;
    bool ended = false;

    void RequestStop()
    {
        std::lock_guard<std::mutex> guard(lock);
        stop = true;
        wake.notify_all();
    }
    bool WaitEnded(unsigned ms)
    {
        std::unique_lock<std::mutex> guard(lock);
        return wake.wait_for(guard, std::chrono::milliseconds(ms), [this] { return ended; });
    }
};

CQueryThread &CQueryThread::GetInstance()
{
    static CQueryThread *instance = new CQueryThread;
    return *instance;
}

CQueryThread::~CQueryThread()
{
    Stop();
}

bool CQueryThread::Start(const PollingTiming &timing)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_started)
        return false;
    m_timing = timing;
    m_counter = 0;
    m_stopping = false;
    if (!StartWorker())
        return false;
    try {
        m_watchdog = std::thread(&CQueryThread::WatchdogMain, this);
    } catch (const std::system_error &) {
        m_worker->RequestStop();
        m_worker.reset();
        return false;
    }
    m_started = true;
    return true;
}

bool CQueryThread::Stop(unsigned waitMs)
{
    std::shared_ptr<Worker> worker;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_started)
            return true;
        m_stopping = true;
        m_wake.notify_all();
        worker = m_worker;
    }
    if (worker)
        worker->RequestStop();
    if (m_watchdog.joinable())
        m_watchdog.join();
    const bool ended = !worker || worker->WaitEnded(waitMs);
    std::lock_guard<std::mutex> guard(m_lock);
    m_worker.reset();
    m_started = false;
    return ended;
}

bool CQueryThread::IsStarted() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_started;
}

void CQueryThread::SetCredentials(const std::string &userName, const std::string &password)
{
    CManager &manager = CManager::GetInstance();
    auto lock = manager.Lock();
    manager.userName = userName;
    manager.password = password;
}

// Called with m_lock held. False when no thread could be made.
bool CQueryThread::StartWorker()
{
    m_worker = std::make_shared<Worker>(m_timing);
    try {
        std::thread(&CQueryThread::WorkerMain, this, m_worker).detach();
    } catch (const std::system_error &) {
        m_worker.reset();
        return false;
    }
    return true;
}

void CQueryThread::WorkerMain(std::shared_ptr<Worker> worker)
{
    while (!worker->stop)
        Cycle(*worker);
    std::lock_guard<std::mutex> guard(worker->lock);
    worker->ended = true;
    worker->wake.notify_all();
}

bool CQueryThread::Pause(Worker &worker, unsigned ms)
{
    std::unique_lock<std::mutex> guard(worker.lock);
    return !worker.wake.wait_for(guard, std::chrono::milliseconds(ms), [&worker] { return worker.stop.load(); });
}

void CQueryThread::Cycle(Worker &worker)
{
    m_counter = 0;
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG due = worker.lastCycle == 0 ? now + worker.timing.cycleMs : worker.lastCycle + worker.timing.cycleMs;
    if (due > now && !Pause(worker, static_cast<unsigned>(due - now)))
        return;
    if (worker.stop)
        return;
    worker.lastCycle = due > now ? due : now;

    CManager &manager = CManager::GetInstance();
    // While nothing is polled, nothing published may pass for current.
    if (!manager.IsRunning()) {
        PostRoutineStatusText("操作已被停止");
        MarkUnreachable();
        return;
    }
    if (manager.UserName().empty() || manager.Password().empty()) {
        PostRoutineStatusText("用户名或密码为空");
        MarkUnreachable();
        return;
    }
    if (manager.SessionId().empty())
        Relogin(worker);
    if (worker.stop)
        return;
    if (manager.Selection().empty()) {
        PostRoutineStatusText("请选择变量后提交");
        return;
    }

    for (int attempt = 1; attempt <= 5; ++attempt) {
        CQueryVariantValueAction query;
        query.SetAbortFlag(&worker.stop);
        if (query.Request()) {
            manager.WakePublisher();
            RequestValueRefresh(0);
            return;
        }
        // The values are not current from the first failed query on; the
        // retries and the re-login follow as before.
        if (attempt == 1 && !worker.stop)
            MarkUnreachable();
        if (!Pause(worker, worker.timing.retryMs))
            return;
    }
    Relogin(worker);
}

void CQueryThread::Relogin(Worker &worker)
{
    CManager &manager = CManager::GetInstance();
    if (!manager.IsRunning())
        return;
    for (;;) {
        m_counter = 0;
        ShowLoggedOut();
        if (!Pause(worker, worker.timing.reloginMs) || !manager.IsRunning())
            return;

        CLoginAction login(manager.UserName(), manager.Password());
        login.SetAbortFlag(&worker.stop);
        if (login.Request()) {
            ShowLoggedIn();
            return;
        }
        if (worker.stop || !manager.IsRunning())
            return;
        // No login, no values: what was polled before is the last known value
        // (values still waiting for their first poll have none).
        MarkUnreachable();
    }
}

void CQueryThread::MarkUnreachable()
{
    CManager &manager = CManager::GetInstance();
    if (manager.MarkSourceUnreachable()) {
        manager.WakePublisher();
        RequestValueRefresh(1);
    }
}

bool CQueryThread::PauseWatchdog(unsigned ms)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return !m_wake.wait_for(guard, std::chrono::milliseconds(ms), [this] { return m_stopping; });
}

void CQueryThread::WatchdogMain()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(m_lock);
            if (m_stopping)
                return;
        }
        if (m_counter <= m_timing.watchdogLimit) {
            ++m_counter;
        } else {
            ConsolePrintf("[%s]RESTART Thread\n", LocalTimeText().c_str());
            m_counter = 0;
            std::shared_ptr<Worker> stuck;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                stuck = m_worker;
            }
            // The stuck worker's transfer is aborted and it ends itself; the
            // replacement starts once it has ended or the wait ran out.
            if (stuck) {
                stuck->RequestStop();
                stuck->WaitEnded(m_timing.replaceWaitMs);
            }
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_stopping)
                return;
            ++m_restarts;
            StartWorker(); // tried again at the next restart when it fails
        }
        if (!PauseWatchdog(m_timing.watchdogTickMs))
            return;
    }
}

bool StartPolling()
{
    return CQueryThread::GetInstance().Start();
}

void StopPolling()
{
    CQueryThread::GetInstance().Stop();
}
