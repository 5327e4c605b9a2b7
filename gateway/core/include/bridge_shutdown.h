// bridge_shutdown.h - ends the running bridge program on submit: asks it
// first (so that its OPC clients are told the server goes away), ends it by
// name when it does not answer.
#pragma once

#include <string>

// Sets the bridge's shutdown event (the name the bridge watches) and waits
// up to waitMs for every process of that program name to end; whatever is
// still running then is ended with KillProcessByName. True when a bridge
// was running.
bool EndBridgeProgram(const std::string &programName, unsigned waitMs = 3000);
