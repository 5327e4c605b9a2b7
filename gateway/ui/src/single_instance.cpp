// single_instance.cpp - the single-instance mutex and the bring-to-front.
#include "single_instance.h"

#include "main_frame.h"

#include <windows.h>

namespace {

const char kInstanceMutexName[] = "_22g_quenlor_lumaret_mutex";

} // namespace

bool TakeSingleInstance()
{
    HANDLE mutex = CreateMutexA(nullptr, TRUE, kInstanceMutexName);
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return true; // the handle stays open until the process ends
    if (mutex != nullptr)
        CloseHandle(mutex);
    HWND first = FindWindowA(kMainWindowClassName, nullptr);
    if (IsWindow(first)) {
        ShowWindow(first, SW_SHOW);
        SetForegroundWindow(first);
    }
    return false;
}
