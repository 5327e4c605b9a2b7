// server_process.cpp - server-process count and the end-of-process rule.
#include "server_process.h"

#include <windows.h>
#include <objbase.h>

void AddRefServerProcess()
{
    CoAddRefServerProcess();
}

void ReleaseServerProcess()
{
    if (CoReleaseServerProcess() == 0) {
        OutputDebugStringA("dakora_da: last server reference released, process ends\n");
        ExitProcess(0);
    }
}
