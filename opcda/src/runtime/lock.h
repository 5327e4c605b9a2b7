// lock.h - critical-section lock and its scope guard, used by every shared
// structure of the library (tag table, write ring, start/stop sequence).
#pragma once

#include <windows.h>

class CLock {
public:
    CLock() { InitializeCriticalSection(&m_cs); }
    ~CLock() { DeleteCriticalSection(&m_cs); }
    CLock(const CLock &) = delete;
    CLock &operator=(const CLock &) = delete;

    void Enter() { EnterCriticalSection(&m_cs); }
    void Leave() { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

class CAutoLock {
public:
    explicit CAutoLock(CLock &lock) : m_lock(lock) { m_lock.Enter(); }
    ~CAutoLock() { m_lock.Leave(); }
    CAutoLock(const CAutoLock &) = delete;
    CAutoLock &operator=(const CAutoLock &) = delete;

private:
    CLock &m_lock;
};
