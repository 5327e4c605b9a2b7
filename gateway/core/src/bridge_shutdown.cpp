// bridge_shutdown.cpp - asks the bridge to end, then ends it by name.
#include "bridge_shutdown.h"

#include "bridge_shutdown_event.h"
#include "process_kill.h"

#include <windows.h>

#include <tlhelp32.h>

#include <vector>

namespace {

struct RunningBridge {
    HANDLE process;
    DWORD id;
};

std::vector<RunningBridge> OpenProcesses(const std::string &name)
{
    std::vector<RunningBridge> processes;
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
            processes.push_back({process, entry.th32ProcessID});
    }
    CloseHandle(snapshot);
    return processes;
}

// True when every process ended within waitMs.
bool WaitForEnd(const std::vector<RunningBridge> &processes, unsigned waitMs)
{
    const DWORD start = GetTickCount();
    for (const RunningBridge &bridge : processes) {
        const DWORD spent = GetTickCount() - start;
        const DWORD left = spent < waitMs ? waitMs - spent : 0;
        if (WaitForSingleObject(bridge.process, left) != WAIT_OBJECT_0)
            return false;
    }
    return true;
}

} // namespace

bool EndBridgeProgram(const std::string &programName, unsigned waitMs)
{
    std::vector<RunningBridge> running = OpenProcesses(programName);
    if (running.empty())
        return KillProcessByName(programName); // nothing to ask
    // Every running bridge is asked; one that does not watch for the request
    // (or does not answer in time) is ended by name below.
    std::vector<RunningBridge> asked;
    for (const RunningBridge &bridge : running) {
        HANDLE request = OpenEventA(EVENT_MODIFY_STATE, FALSE, BridgeShutdownEventName(bridge.id).c_str());
        if (request == nullptr)
            continue;
        SetEvent(request);
        CloseHandle(request);
        asked.push_back(bridge);
    }
    const bool ended = WaitForEnd(asked, waitMs) && asked.size() == running.size();
    for (const RunningBridge &bridge : running)
        CloseHandle(bridge.process);
    if (!ended)
        KillProcessByName(programName);
    return true;
}
