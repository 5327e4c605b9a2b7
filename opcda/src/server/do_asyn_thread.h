// do_asyn_thread.h - the worker thread of one server object: runs its
// groups' queued requests, data-change scans and keep-alives. It sleeps
// until the earliest due scan of its groups, or until the link's wake event
// says a request was queued or a schedule changed.
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
    // Longest sleep without a due scan (a missed wake-up costs no more).
    static const DWORD kIdleWait = 1000;

    explicit CDoAsynThread(const ServerLinkPtr &link);

    const char *Name() const override;
    // Starts the thread; false when it cannot be created.
    bool StartWorker();

protected:
    void Step() override;
    void ThreadStarting() override;
    void ThreadEnding() override;

private:
    ServerLinkPtr m_link;
    ULONGLONG m_nextDue; // scan_schedule clock; 0 = a pass at once
};
