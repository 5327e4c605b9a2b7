// rix_thread.cpp - worker thread base: loop, wait handle, start and stop flags.
#include "rix_thread.h"

namespace RIX {

CThread::CThread()
    : m_running(0), m_stop(0), m_ownership(kThreadDone), m_waitHandle(nullptr),
      m_callback(nullptr), m_callbackData(nullptr)
{
}

// Threads are detached; at process end they are already gone when static
// workers are destroyed, so there is nothing to wait for here.
CThread::~CThread() = default;

void CThread::Step()
{
    Sleep(1);
}

const char *CThread::Name() const
{
    return "CThread";
}

bool CThread::Start()
{
    LONG expected = 0;
    if (!m_running.compare_exchange_strong(expected, 1))
        return false;
    m_stop.store(0);
    m_ownership.store(kOwned);
    HANDLE thread = CreateThread(nullptr, 0, &CThread::ThreadRoutine, this, 0, nullptr);
    if (thread == nullptr) {
        m_ownership.store(kThreadDone);
        m_running.store(0);
        return false;
    }
    CloseHandle(thread);
    return true;
}

DWORD WINAPI CThread::ThreadRoutine(void *self)
{
    CThread *thread = static_cast<CThread *>(self);
    thread->Run();
    // Given up by its owner while running: the thread deletes its object.
    if (thread->m_ownership.exchange(kThreadDone) == kAbandoned)
        delete thread;
    return 0;
}

void CThread::Abandon()
{
    RequestStop();
    // kThreadDone: no thread runs (never started, or its routine is past
    // its last use of this object).
    if (m_ownership.exchange(kAbandoned) == kThreadDone)
        delete this;
}

void CThread::Run()
{
    ThreadStarting();
    while (m_stop.load() == 0) {
        if (m_waitHandle != nullptr && *m_waitHandle != nullptr) {
            if (WaitForSingleObject(*m_waitHandle, 100) != WAIT_OBJECT_0)
                continue;
        }
        if (m_callback != nullptr) {
            if (!m_callback(m_callbackData))
                break;
        } else {
            Step();
        }
    }
    ThreadEnding();
    m_running.store(0);
}

} // namespace RIX
