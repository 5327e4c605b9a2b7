// shutdown_watch.h - how the gateway asks a running bridge to end: a named
// event of that bridge process ("<prefix><process id>", so a bridge that COM
// starts while an older one is asked to end never sees the older one's
// request) that the bridge watches. When it is set, the bridge tells its OPC
// clients that the server is going away, gives them a second to take the
// notice, and ends with exit code 0.
#pragma once

namespace bridge {
// The event's name without the process id (decimal) that completes it; the
// gateway's EndBridgeProgram sets it.
const char kShutdownEventPrefix[] = "QlrShutdownEvent_dakoar_";
// Creates the event and starts the thread that waits on it.
void StartShutdownWatch();
} // namespace bridge
