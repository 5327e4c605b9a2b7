// do_asyn_thread.h - the worker thread of one server object: runs its
// groups' queued requests and data-change scans, pass after pass; waits
// 100 ms after a pass that found nothing to do.
#pragma once

#include "rix_thread.h"

class COpcDaServer;

class CDoAsynThread : public RIX::CThread {
public:
    explicit CDoAsynThread(COpcDaServer *server);
    ~CDoAsynThread() override;

    const char *Name() const override;
    // Starts the thread; false when it cannot be created.
    bool StartWorker();
    // Asks the thread to end and waits (100 ms polls) until it has.
    void StopWorker();

protected:
    void Step() override;
    void ThreadStarting() override;
    void ThreadEnding() override;

private:
    COpcDaServer *m_server;
    HANDLE m_wakeEvent;
    bool m_didWork;
};
