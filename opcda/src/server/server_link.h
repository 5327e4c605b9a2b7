// server_link.h - the tie between a server object and its groups. A group
// may outlive its server object (the client still holds it after the server
// was released); through the link it learns, under the link's lock, whether
// its server still exists before it calls into it. The link also carries
// what groups need of their server without calling it: the server object's
// locale, the time data last went to its client, and the event that wakes
// the server's worker when a group has something for it before its next
// due scan.
#pragma once

#include "lock.h"

#include <windows.h>

#include <atomic>
#include <memory>

class COpcDaServer;

struct CServerLink {
    CServerLink() : wakeEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~CServerLink()
    {
        if (wakeEvent != nullptr)
            CloseHandle(wakeEvent);
    }
    CServerLink(const CServerLink &) = delete;
    CServerLink &operator=(const CServerLink &) = delete;

    // A request was queued, or a group's schedule changed.
    void WakeWorker()
    {
        if (wakeEvent != nullptr)
            SetEvent(wakeEvent);
    }

    CLock lock;
    COpcDaServer *server = nullptr; // null once the server object is gone
    std::atomic<LCID> locale{2052};  // the server object's locale (IOPCCommon)
    // FILETIME (as a number) of the last callback that carried values to
    // this client; 0 = none yet.
    std::atomic<ULONGLONG> lastUpdateTime{0};
    // Auto-reset; null when it could not be made (the worker then looks at
    // least every 100 ms).
    HANDLE wakeEvent;
};

typedef std::shared_ptr<CServerLink> ServerLinkPtr;
