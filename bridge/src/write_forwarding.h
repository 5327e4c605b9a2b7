// write_forwarding.h - how OPC client writes leave the bridge: the host
// write callback turns each write into a frame and queues it; the
// write-forwarding thread runs the client that sends the queue to the
// gateway.
#pragma once

#include "dakora_da.h"

class CWriteQueue;

// The host's check of every client write (dakora_setwritecheck), on the
// client's call. userData: the segment reader (CMappingClient), or null.
// A write that cannot be carried out is refused at once: E_FAIL while the
// gateway does not publish (its segment stale or not open: nobody would
// take the write) or while the queue to it is full; a value without an
// exact frame text OPC_E_RANGE when it is too long for a frame,
// OPC_E_BADTYPE otherwise.
HRESULT DAKORA_CALL CheckWrite(const char *itemId, const VARIANT *value, void *userData);

// The host write callback handed to dakora_start.
int DAKORA_CALL OnWrite(const char *itemId, VARIANT *value, DWORD quality, FILETIME timestamp,
                        void *userData);

// Body of the write-forwarding thread: runs the client for good.
void RunWriteForwarding(unsigned short port);

// The process-wide queue between OnWrite and the client.
CWriteQueue &PendingWrites();
