// server_link.h - the tie between a server object and its groups. A group
// may outlive its server object (the client still holds it after the server
// was released); through the link it learns, under the link's lock, whether
// its server still exists before it calls into it. The link also carries
// what groups need of their server without calling it: the server object's
// locale and the time data last went to its client.
#pragma once

#include "lock.h"

#include <windows.h>

#include <atomic>
#include <memory>

class COpcDaServer;

struct CServerLink {
    CLock lock;
    COpcDaServer *server = nullptr; // null once the server object is gone
    std::atomic<LCID> locale{2052};  // the server object's locale (IOPCCommon)
    // FILETIME (as a number) of the last callback that carried values to
    // this client; 0 = none yet.
    std::atomic<ULONGLONG> lastUpdateTime{0};
};

typedef std::shared_ptr<CServerLink> ServerLinkPtr;
