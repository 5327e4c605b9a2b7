// rix_thread.h - worker thread base of the library. A worker runs Step() (or a
// callback) in a loop until asked to stop; when it has a wait handle, each
// pass first waits up to 100 ms on it and skips the pass on time-out.
#pragma once

#include <windows.h>

#include <atomic>

namespace RIX {

class CThread {
public:
    typedef bool (*Callback)(void *data);

    CThread();
    virtual ~CThread();
    CThread(const CThread &) = delete;
    CThread &operator=(const CThread &) = delete;

    // One pass of work; the base only sleeps 1 ms.
    virtual void Step();
    virtual const char *Name() const;

    // Starts the thread routine. False when it is already running or the
    // thread cannot be created.
    bool Start();
    // Asks the loop to end after the current pass.
    void RequestStop() { m_stop.store(1); }
    bool IsRunning() const { return m_running.load() != 0; }
    bool StopRequested() const { return m_stop.load() != 0; }

    // The owner gives the object up: it is deleted as soon as its thread has
    // ended (at once when the thread is not running). Objects given up this
    // way must have been created with new.
    void Abandon();

    void SetWaitHandle(HANDLE *handle) { m_waitHandle = handle; }
    void SetCallback(Callback callback, void *data)
    {
        m_callback = callback;
        m_callbackData = data;
    }

protected:
    // Run on the worker thread before its first pass and after its last.
    virtual void ThreadStarting() {}
    virtual void ThreadEnding() {}

private:
    static DWORD WINAPI ThreadRoutine(void *self);
    void Run();

    // kOwned while a thread runs for an owner that keeps the object;
    // kThreadDone when no thread runs; kAbandoned when the owner gave it up.
    enum Ownership : LONG { kOwned, kThreadDone, kAbandoned };

    std::atomic<LONG> m_running;
    std::atomic<LONG> m_stop;
    std::atomic<LONG> m_ownership;
    HANDLE *m_waitHandle;
    Callback m_callback;
    void *m_callbackData;
};

} // namespace RIX
