// bridge_shutdown.cpp - asks the bridge to end, then ends it by name.
#include "bridge_shutdown.h"

#include "process_kill.h"

#include <windows.h>

#include <tlhelp32.h>

#include <vector>

namespace {

// The name under which the bridge (bridge/src/shutdown_watch.h) watches for
// the request; both programs must spell it the same.
const char kShutdownEventName[] = "QlrShutdownEvent_dakoar";

std::vector<HANDLE> OpenProcesses(const std::string &name)
{
    std::vector<HANDLE> processes;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return processes;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, name.c_str()) != 0)
            continue;
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (process != nullptr)
            processes.push_back(process);
    }
    CloseHandle(snapshot);
    return processes;
}

// True when every process ended within waitMs.
bool WaitForEnd(const std::vector<HANDLE> &processes, unsigned waitMs)
{
    const DWORD start = GetTickCount();
    for (HANDLE process : processes) {
        const DWORD spent = GetTickCount() - start;
        const DWORD left = spent < waitMs ? waitMs - spent : 0;
        if (WaitForSingleObject(process, left) != WAIT_OBJECT_0)
            return false;
    }
    return true;
}

} // namespace

bool EndBridgeProgram(const std::string &programName, unsigned waitMs)
{
    std::vector<HANDLE> running = OpenProcesses(programName);
    if (running.empty())
        return KillProcessByName(programName); // nothing to ask
    bool ended = false;
    HANDLE request = OpenEventA(EVENT_MODIFY_STATE, FALSE, kShutdownEventName);
    if (request != nullptr) {
        SetEvent(request);
        ended = WaitForEnd(running, waitMs);
        // A bridge started from now on must not see the old request.
        ResetEvent(request);
        CloseHandle(request);
    }
    for (HANDLE process : running)
        CloseHandle(process);
    if (!ended)
        KillProcessByName(programName);
    return true;
}
