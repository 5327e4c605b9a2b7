// bridge_shutdown_event.h - the named event through which the gateway asks
// one running bridge process to end. Each bridge watches an event of its own
// process id, so a bridge that COM starts while an older one is asked to end
// never sees the older one's request.
#pragma once

#include <string>

inline std::string BridgeShutdownEventName(unsigned long processId)
{
    return "QlrShutdownEvent_dakoar_" + std::to_string(processId);
}
