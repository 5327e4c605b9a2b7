// server_process.cpp - server-process count and the end-of-process rule.
//
// The last count given back does not end the process on the spot: the
// class object is withdrawn from COM first, so that no new client is sent
// to a process that is about to go, and the process ends only after a short
// grace period in which no client arrived. A client that got the class
// object just before it was withdrawn is served, and the process then ends
// when that client is done. (Ending at once, with the class object still
// registered, lets COM hand an ending process to the next client: its
// activation or its first calls then fail, or wait for an answer that never
// comes.)
#include "server_process.h"

#include "library_state.h"

#include <windows.h>
#include <objbase.h>

namespace {

// Time for calls of a client that received the class object just before it
// was withdrawn to arrive.
const DWORD kEndGraceMs = 300;

void EndIfStillIdle()
{
    Sleep(kEndGraceMs);
    // A probe count: when giving it back leaves none, nobody came.
    CoAddRefServerProcess();
    if (CoReleaseServerProcess() == 0) {
        OutputDebugStringA("dakora_da: last server reference released, process ends\n");
        ExitProcess(0);
    }
}

DWORD WINAPI EndingThread(void *)
{
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EndIfStillIdle();
    if (SUCCEEDED(init))
        CoUninitialize();
    return 0;
}

} // namespace

void AddRefServerProcess()
{
    CoAddRefServerProcess();
}

// Called from inside a client's call (its last Release, LockServer(FALSE)):
// the class object is withdrawn before that call returns, so that the
// client's next activation starts a new process; the ending itself runs on
// a thread of its own.
void ReleaseServerProcess()
{
    if (CoReleaseServerProcess() != 0)
        return;
    DakoarThread().RevokeClassObject();
    HANDLE thread = CreateThread(nullptr, 0, &EndingThread, nullptr, 0, nullptr);
    if (thread != nullptr)
        CloseHandle(thread);
    else
        EndIfStillIdle();
}
