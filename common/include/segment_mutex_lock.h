// segment_mutex_lock.h - scope guard for the named mutex that guards the
// segment's header and the snapshot in its data mapping across the two
// processes.
#pragma once

#include <windows.h>

class CSegmentMutexLock {
public:
    // Waits up to waitMs. A mutex whose previous owner ended without
    // releasing it is owned as well, but reported as abandoned: whatever
    // that owner was writing may be half done.
    CSegmentMutexLock(HANDLE mutex, DWORD waitMs) : m_mutex(mutex)
    {
        const DWORD result = WaitForSingleObject(m_mutex, waitMs);
        m_owned = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        m_abandoned = result == WAIT_ABANDONED;
    }
    ~CSegmentMutexLock()
    {
        if (m_owned)
            ReleaseMutex(m_mutex);
    }
    CSegmentMutexLock(const CSegmentMutexLock &) = delete;
    CSegmentMutexLock &operator=(const CSegmentMutexLock &) = delete;

    bool Owned() const { return m_owned; }
    bool Abandoned() const { return m_abandoned; }

private:
    HANDLE m_mutex;
    bool m_owned = false;
    bool m_abandoned = false;
};
