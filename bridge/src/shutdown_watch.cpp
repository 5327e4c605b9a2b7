// shutdown_watch.cpp - the bridge's end on the gateway's request.
#include "shutdown_watch.h"

#include "dakora_da.h"

#include <windows.h>

namespace bridge {

namespace {

const unsigned kNoticeWaitMs = 1000;

DWORD WINAPI WatchShutdown(void *event)
{
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    OutputDebugStringA("shutdown requested");
    dakora_notifyshutdown(kNoticeWaitMs);
    ExitProcess(0);
}

} // namespace

void StartShutdownWatch()
{
    char name[64];
    wsprintfA(name, "%s%lu", kShutdownEventPrefix, GetCurrentProcessId());
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
    if (event == nullptr)
        return;
    HANDLE thread = CreateThread(nullptr, 0, &WatchShutdown, event, 0, nullptr);
    if (thread != nullptr)
        CloseHandle(thread);
}

} // namespace bridge
