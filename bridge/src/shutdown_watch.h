// shutdown_watch.h - how the gateway asks a running bridge to end: the named
// event of that bridge process (bridge_shutdown_event.h), which the bridge
// watches. When it is set, the bridge tells its OPC clients that the server
// is going away, gives them a second to take the notice, and ends with exit
// code 0.
#pragma once

namespace bridge {
// Creates the event and starts the thread that waits on it.
void StartShutdownWatch();
} // namespace bridge
