// shutdown_watch.cpp - the bridge's end on the gateway's request.
#include "shutdown_watch.h"

#include "bridge_shutdown_event.h"
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
    HANDLE event =
        CreateEventA(nullptr, TRUE, FALSE, BridgeShutdownEventName(GetCurrentProcessId()).c_str());
    if (event == nullptr)
        return;
    HANDLE thread = CreateThread(nullptr, 0, &WatchShutdown, event, 0, nullptr);
    if (thread != nullptr)
        CloseHandle(thread);
}

} // namespace bridge
