// server_link.h - the tie between a server object and its groups. A group
// may outlive its server object (the client still holds it after the server
// was released); through the link it learns, under the link's lock, whether
// its server still exists before it calls into it.
#pragma once

#include "lock.h"

#include <memory>

class COpcDaServer;

struct CServerLink {
    CLock lock;
    COpcDaServer *server = nullptr; // null once the server object is gone
};

typedef std::shared_ptr<CServerLink> ServerLinkPtr;
