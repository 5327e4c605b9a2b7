// wait_until.h - waiting for a condition on a loaded machine: polls until
// it holds or the time is up.
#pragma once

#include <windows.h>

#include <functional>

// Generous default: the program under test runs under Wine on a busy machine.
const DWORD kDefaultWaitMs = 20000;

inline bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs = kDefaultWaitMs,
                      DWORD pollMs = 50)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(pollMs);
    }
}
