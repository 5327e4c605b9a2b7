// do_asyn_thread.h - the worker thread of one server object: runs its
// groups' queued requests and data-change scans, pass after pass; waits
// 100 ms after a pass that found nothing to do.
#pragma once

#include "rix_thread.h"
#include "server_link.h"

// The worker reaches its server only through the link, under the link's
// lock, and makes the client callbacks after releasing it. The server's
// destruction therefore never waits for a callback to return (a client may
// release its last reference from inside one): it cuts the link and gives
// the worker up, and the worker ends and deletes itself.
class CDoAsynThread : public RIX::CThread {
public:
    explicit CDoAsynThread(const ServerLinkPtr &link);
    ~CDoAsynThread() override;

    const char *Name() const override;
    // Starts the thread; false when it cannot be created.
    bool StartWorker();

protected:
    void Step() override;
    void ThreadStarting() override;
    void ThreadEnding() override;

private:
    ServerLinkPtr m_link;
    HANDLE m_wakeEvent;
    bool m_didWork;
};
