// do_asyn_thread.cpp - per-server worker loop.
#include "do_asyn_thread.h"

#include "delivery.h"
#include "opc_server.h"

#include <objbase.h>

CDoAsynThread::CDoAsynThread(const ServerLinkPtr &link)
    : m_link(link), m_wakeEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
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
    DeliveryList deliveries;
    {
        CAutoLock guard(m_link->lock);
        if (m_link->server == nullptr) {
            RequestStop();
            return;
        }
        m_didWork = m_link->server->CollectPass(deliveries);
    }
    bool carriedValues = false;
    for (auto &delivery : deliveries) {
        delivery->Deliver();
        carriedValues = carriedValues || delivery->CarriesValues();
    }
    if (carriedValues) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        m_link->lastUpdateTime = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    }
}
