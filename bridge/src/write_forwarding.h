// write_forwarding.h - how OPC client writes leave the bridge: the host
// write callback turns each write into a frame and queues it; the
// write-forwarding thread runs the client that sends the queue to the
// gateway.
#pragma once

#include "dakora_da.h"

class CWriteQueue;

// The host write callback handed to dakora_start.
int DAKORA_CALL OnWrite(const char *itemId, VARIANT *value, DWORD quality, FILETIME timestamp,
                        void *userData);

// Body of the write-forwarding thread: runs the client for good.
void RunWriteForwarding(unsigned short port);

// The process-wide queue between OnWrite and the client.
CWriteQueue &PendingWrites();
