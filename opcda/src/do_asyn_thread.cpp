// do_asyn_thread.cpp - per-server worker loop.
#include "do_asyn_thread.h"

#include "opc_server.h"

#include <objbase.h>

CDoAsynThread::CDoAsynThread(COpcDaServer *server)
    : m_server(server), m_wakeEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_didWork(false)
{
}

CDoAsynThread::~CDoAsynThread()
{
    if (m_wakeEvent != nullptr)
        CloseHandle(m_wakeEvent);
}

const char *CDoAsynThread::Name() const
{
    return "CAsynThread";
}

bool CDoAsynThread::StartWorker()
{
    return Start();
}

void CDoAsynThread::StopWorker()
{
    RequestStop();
    if (m_wakeEvent != nullptr)
        SetEvent(m_wakeEvent);
    while (IsRunning())
        Sleep(100);
}

// Client sinks are called from this thread: it lives in the
// multithreaded apartment.
void CDoAsynThread::ThreadStarting()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
}

void CDoAsynThread::ThreadEnding()
{
    CoUninitialize();
}

void CDoAsynThread::Step()
{
    if (!m_didWork && m_wakeEvent != nullptr)
        WaitForSingleObject(m_wakeEvent, 100);
    if (StopRequested())
        return;
    m_didWork = m_server->RunPass();
}
