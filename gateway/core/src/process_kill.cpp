// process_kill.cpp - KillProcessByName: the first process with the name ends.
#include "process_kill.h"

#include <windows.h>

#include <tlhelp32.h>

bool KillProcessByName(const std::string &name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, name.c_str()) != 0)
            continue;
        found = true;
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
        if (process != nullptr) {
            TerminateProcess(process, 0);
            CloseHandle(process);
        }
        break;
    }
    CloseHandle(snapshot);
    return found;
}
