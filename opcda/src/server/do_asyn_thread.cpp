// do_asyn_thread.cpp - per-server worker loop: sleep until something is
// due, one pass over the groups under the link's lock, then the callbacks.
#include "do_asyn_thread.h"

#include "delivery.h"
#include "opc_server.h"
#include "scan_schedule.h"

#include <objbase.h>

CDoAsynThread::CDoAsynThread(const ServerLinkPtr &link) : m_link(link), m_nextDue(0)
{
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
    ULONGLONG now = scan_schedule::Now();
    if (m_nextDue > now) {
        const ULONGLONG wait = m_nextDue - now;
        const DWORD waitMs = wait < kIdleWait ? static_cast<DWORD>(wait) : kIdleWait;
        if (m_link->wakeEvent != nullptr)
            WaitForSingleObject(m_link->wakeEvent, waitMs);
        else
            Sleep(waitMs < 100 ? waitMs : 100);
        if (StopRequested())
            return;
        now = scan_schedule::Now();
    }
    DeliveryList deliveries;
    {
        CAutoLock guard(m_link->lock);
        if (m_link->server == nullptr) {
            RequestStop();
            return;
        }
        m_nextDue = m_link->server->CollectPass(now, deliveries);
    }
    bool carriedValues = false;
    for (auto &delivery : deliveries) {
        delivery->Deliver();
        carriedValues = carriedValues || delivery->CarriesValues();
    }
    if (carriedValues) {
        FILETIME stamp;
        GetSystemTimeAsFileTime(&stamp);
        m_link->lastUpdateTime = (static_cast<ULONGLONG>(stamp.dwHighDateTime) << 32) | stamp.dwLowDateTime;
    }
}
