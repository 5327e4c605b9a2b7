// server_registry.h - the server objects alive in the process, so that the
// host can tell every connected client that the server is going away
// (IOPCShutdown::ShutdownRequest, in each server object's language).
#pragma once

#include <windows.h>

class COpcDaServer;

void RegisterServerObject(COpcDaServer *server);
void UnregisterServerObject(COpcDaServer *server);

// Withdraws the class object, then calls ShutdownRequest on every
// IOPCShutdown sink of every server object (from a thread of its own) and
// waits until all calls returned, at most waitMs. Returns the number of
// sinks called.
unsigned NotifyShutdown(DWORD waitMs);
