// server_process.h - the server-process count of the host: every server
// object, LockServer(TRUE) and a holding start take one count; the host
// process ends with exit code 0 when the last one is given back.
#pragma once

void AddRefServerProcess();
// Gives back one count; ends the process with exit code 0 when none is left.
void ReleaseServerProcess();
