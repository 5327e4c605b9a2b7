// write_action_thread.h - the short-lived thread that runs one platform
// write: Request(), "write variant ok" on success, then the action is
// destroyed.
#pragma once

class CWriteVariantAction;

// Takes ownership of action and runs it on a thread of its own.
void StartWriteActionThread(CWriteVariantAction *action);

// Write actions started and not yet finished.
int WriteActionsInFlight();
// Waits until no write action runs; false on time-out.
bool WaitForWriteActions(unsigned timeoutMs);
