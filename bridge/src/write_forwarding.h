// write_forwarding.h - how OPC client writes leave the bridge: the host
// write callback turns each write into a frame and queues it; the
// write-forwarding thread runs the client that sends the queue to the
// gateway.
#pragma once

#include "dakora_da.h"

class CWriteQueue;

// What the write check asks of the bridge about the gateway's state; the
// bridge's main object answers (from any thread).
class CWriteGate {
public:
    // The gateway publishes (its segment is fresh).
    virtual bool GatewayPublishes() const = 0;
    // The gateway can carry out a write of the item: it publishes the item
    // and the item's source is reachable (not the last known value or a
    // comm failure, as after a logout or during a platform outage).
    virtual bool SourceReachable(const char *itemId) const = 0;

protected:
    ~CWriteGate() = default;
};

// The host's check of every client write (dakora_setwritecheck), on the
// client's call. userData: the CWriteGate, or null.
// A write that cannot be carried out is refused at once: E_FAIL while the
// gateway does not publish (its segment stale or not open: nobody would
// take the write), while its write receiver is gone (the connection to it
// broke and it refuses a new one: a gateway that ended, before its segment
// goes stale), while the item's source is unreachable (the gateway
// would drop the write or the platform refuse it) or while the queue to it
// is full; a value without an exact frame text OPC_E_RANGE when it is too
// long for a frame, OPC_E_BADTYPE otherwise.
HRESULT DAKORA_CALL CheckWrite(const char *itemId, const VARIANT *value, void *userData);

// The host write callback handed to dakora_start.
int DAKORA_CALL OnWrite(const char *itemId, VARIANT *value, DWORD quality, FILETIME timestamp,
                        void *userData);

// Body of the write-forwarding thread: runs the client for good.
void RunWriteForwarding(unsigned short port);

// The process-wide queue between OnWrite and the client.
CWriteQueue &PendingWrites();
