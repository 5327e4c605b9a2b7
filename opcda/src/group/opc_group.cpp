// opc_group.cpp - group object: lifetime, interface table, group state and
// its connection point container.
#include "opc_group.h"

#include "com_memory.h"
#include "enum_connection_points.h"
#include "opc_data.h"
#include "opc_errors.h"
#include "opc_server.h"
#include "scan_schedule.h"
#include "server_process.h"

#include <olectl.h>

#include <cwchar>
#include <new>

COpcGroup::COpcGroup(const ServerLinkPtr &link, COpcData &tags)
    : m_refs(0), m_link(link), m_tags(tags),
      m_dataCallbackPoint(static_cast<IOPCItemMgt *>(this),
                          [this] {
                              // The first callback after a new subscription
                              // carries every active item.
                              CAutoLock guard(m_lock);
                              ResendActiveItems();
                          }),
      m_nextConnection(1),
      m_nextTransaction(1), m_serverHandle(0), m_clientHandle(0), m_active(TRUE),
      m_updateRate(1000), m_timeBias(0), m_percentDeadband(0.0f), m_locale(2052),
      m_enable(TRUE), m_scanDue(0), m_keepAlive(0), m_lastCallback(0), m_scannedSerial(0),
      m_resendPending(false)
{
    m_name[0] = L'\0';
    m_items.reserve(kInitialItemBuckets);
    // A group a client still holds keeps the host running after its server
    // object is gone, like the server object itself.
    AddRefServerProcess();
}

// The item references go back to the tag table; queued requests and every
// sink are released.
COpcGroup::~COpcGroup()
{
    for (const auto &entry : m_items)
        m_tags.ReleaseItemRef(entry.first);
    m_items.clear();
    m_requests.Clear();
    m_dataCallbackPoint.ReleaseAll();
    for (AdviseEntry &advise : m_advises)
        advise.sink->Release();
    m_advises.clear();
    ReleaseServerProcess();
}

void COpcGroup::Configure(OPCHANDLE serverHandle, OPCHANDLE clientHandle, BOOL active,
                          DWORD updateRate, LONG timeBias, FLOAT percentDeadband, LCID locale)
{
    CAutoLock guard(m_lock);
    m_serverHandle = serverHandle;
    m_clientHandle = clientHandle;
    m_active = active;
    m_updateRate = updateRate;
    m_timeBias = timeBias;
    m_percentDeadband = percentDeadband;
    m_locale = locale;
}

bool COpcGroup::HasName(LPCWSTR name)
{
    CAutoLock guard(m_lock);
    return std::wcscmp(m_name, name) == 0;
}

void COpcGroup::StoreName(LPCWSTR name)
{
    CAutoLock guard(m_lock);
    lstrcpynW(m_name, name != nullptr ? name : L"", 260);
}

std::wstring COpcGroup::Name()
{
    CAutoLock guard(m_lock);
    return m_name;
}

COpcGroup::State COpcGroup::CurrentState()
{
    CAutoLock guard(m_lock);
    return State{m_clientHandle, m_updateRate, m_timeBias, m_percentDeadband, m_locale};
}

void COpcGroup::ScanAtOnce()
{
    m_scanDue = 0;
    m_link->WakeWorker();
}

void COpcGroup::ResendActiveItems()
{
    for (auto &entry : m_items) {
        if (entry.second.active) {
            entry.second.resend = true;
            m_resendPending = true;
        }
    }
}

STDMETHODIMP COpcGroup::QueryInterface(REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCItemMgt))
        *ppv = static_cast<IOPCItemMgt *>(this);
    else if (IsEqualIID(riid, IID_IOPCGroupStateMgt) || IsEqualIID(riid, IID_IOPCGroupStateMgt2))
        *ppv = static_cast<IOPCGroupStateMgt2 *>(this);
    else if (IsEqualIID(riid, IID_IOPCItemDeadbandMgt))
        *ppv = static_cast<IOPCItemDeadbandMgt *>(this);
    else if (IsEqualIID(riid, IID_IOPCItemSamplingMgt))
        *ppv = static_cast<IOPCItemSamplingMgt *>(this);
    else if (IsEqualIID(riid, IID_IOPCSyncIO) || IsEqualIID(riid, IID_IOPCSyncIO2))
        *ppv = static_cast<IOPCSyncIO2 *>(this);
    else if (IsEqualIID(riid, IID_IOPCAsyncIO))
        *ppv = static_cast<IOPCAsyncIO *>(this);
    else if (IsEqualIID(riid, IID_IDataObject))
        *ppv = static_cast<IDataObject *>(this);
    else if (IsEqualIID(riid, IID_IOPCAsyncIO2) || IsEqualIID(riid, IID_IOPCAsyncIO3))
        *ppv = static_cast<IOPCAsyncIO3 *>(this);
    else if (IsEqualIID(riid, IID_IConnectionPointContainer))
        *ppv = static_cast<IConnectionPointContainer *>(this);
    else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) COpcGroup::AddRef()
{
    return static_cast<ULONG>(++m_refs);
}

// The server's group table holds one reference of its own, so a group
// whose client released every interface stays until RemoveGroup or the
// end of its server object; the last release destroys it.
STDMETHODIMP_(ULONG) COpcGroup::Release()
{
    const LONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP COpcGroup::GetState(DWORD *pUpdateRate, BOOL *pActive, LPWSTR *ppName,
                                 LONG *pTimeBias, FLOAT *pPercentDeadband, DWORD *pLCID,
                                 OPCHANDLE *phClientGroup, OPCHANDLE *phServerGroup)
{
    CAutoLock guard(m_lock);
    if (pUpdateRate != nullptr)
        *pUpdateRate = m_updateRate;
    if (pActive != nullptr)
        *pActive = m_active;
    if (ppName != nullptr)
        *ppName = TaskStringCopy(m_name);
    if (pTimeBias != nullptr)
        *pTimeBias = m_timeBias;
    if (pPercentDeadband != nullptr)
        *pPercentDeadband = m_percentDeadband;
    if (pLCID != nullptr)
        *pLCID = m_locale;
    if (phClientGroup != nullptr)
        *phClientGroup = m_clientHandle;
    if (phServerGroup != nullptr)
        *phServerGroup = m_serverHandle;
    return S_OK;
}

bool IsValidPercentDeadband(FLOAT percent)
{
    return percent >= 0.0f && percent <= 100.0f;
}

namespace {

// Update rate ladder of SetState: 200, 500, 1000, then multiples of 500.
DWORD ReviseUpdateRate(DWORD requested)
{
    if (requested <= 200)
        return 200;
    if (requested <= 500)
        return 500;
    if (requested <= 1000)
        return 1000;
    return requested - requested % 500;
}

} // namespace

// A revised rate that differs from the requested one is reported with
// OPC_S_UNSUPPORTEDRATE. A group that becomes active sends the current
// values of its active items at the next update.
STDMETHODIMP COpcGroup::SetState(DWORD *pRequestedUpdateRate, DWORD *pRevisedUpdateRate,
                                 BOOL *pActive, LONG *pTimeBias, FLOAT *pPercentDeadband,
                                 DWORD *pLCID, OPCHANDLE *phClientGroup)
{
    if (pPercentDeadband != nullptr && !IsValidPercentDeadband(*pPercentDeadband))
        return E_INVALIDARG;
    CAutoLock guard(m_lock);
    HRESULT result = S_OK;
    if (pRequestedUpdateRate != nullptr) {
        const DWORD revised = ReviseUpdateRate(*pRequestedUpdateRate);
        if (revised != *pRequestedUpdateRate)
            result = OPC_S_UNSUPPORTEDRATE;
        // The new rate counts from a scan now.
        if (revised != m_updateRate)
            ScanAtOnce();
        m_updateRate = revised;
    }
    if (pRevisedUpdateRate != nullptr)
        *pRevisedUpdateRate = m_updateRate;
    if (pActive != nullptr) {
        if (*pActive && !m_active) {
            ResendActiveItems();
            ScanAtOnce();
        }
        m_active = *pActive ? TRUE : FALSE;
    }
    if (pTimeBias != nullptr)
        m_timeBias = *pTimeBias;
    if (pPercentDeadband != nullptr)
        m_percentDeadband = *pPercentDeadband;
    if (pLCID != nullptr)
        m_locale = *pLCID;
    if (phClientGroup != nullptr)
        m_clientHandle = *phClientGroup;
    return result;
}

// Names are unique among the groups of a server object.
STDMETHODIMP COpcGroup::SetName(LPCWSTR szName)
{
    if (szName == nullptr || *szName == L'\0')
        return E_INVALIDARG;
    ServerLinkPtr link = m_link;
    CAutoLock guard(link->lock);
    if (link->server != nullptr)
        return link->server->RenameGroup(this, szName);
    StoreName(szName);
    return S_OK;
}

STDMETHODIMP COpcGroup::CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN *ppUnk)
{
    if (ppUnk == nullptr)
        return E_INVALIDARG;
    *ppUnk = nullptr;
    ServerLinkPtr link = m_link;
    CAutoLock guard(link->lock);
    if (link->server == nullptr)
        return E_FAIL;
    return link->server->CloneGroup(*this, szName, riid, ppUnk);
}

// Keep-alive callbacks are scheduled like scans, at the time asked for;
// the shortest is the shortest update rate.
STDMETHODIMP COpcGroup::SetKeepAlive(DWORD dwKeepAliveTime, DWORD *pdwRevisedKeepAliveTime)
{
    if (pdwRevisedKeepAliveTime == nullptr)
        return E_INVALIDARG;
    const DWORD shortest = 200;
    const DWORD revised = dwKeepAliveTime != 0 && dwKeepAliveTime < shortest ? shortest : dwKeepAliveTime;
    CAutoLock guard(m_lock);
    m_keepAlive = revised;
    // The interval counts from now.
    m_lastCallback = scan_schedule::Now();
    m_link->WakeWorker();
    *pdwRevisedKeepAliveTime = revised;
    return revised != dwKeepAliveTime ? OPC_S_UNSUPPORTEDRATE : S_OK;
}

STDMETHODIMP COpcGroup::GetKeepAlive(DWORD *pdwKeepAliveTime)
{
    if (pdwKeepAliveTime == nullptr)
        return E_INVALIDARG;
    CAutoLock guard(m_lock);
    *pdwKeepAliveTime = m_keepAlive;
    return S_OK;
}

STDMETHODIMP COpcGroup::EnumConnectionPoints(IEnumConnectionPoints **ppEnum)
{
    if (ppEnum == nullptr)
        return E_INVALIDARG;
    *ppEnum = nullptr;
    CIEnumConnectionPoints *enumerator =
        new (std::nothrow) CIEnumConnectionPoints(&m_dataCallbackPoint);
    if (enumerator == nullptr)
        return E_OUTOFMEMORY;
    return enumerator->QueryInterface(IID_IEnumConnectionPoints, reinterpret_cast<void **>(ppEnum));
}

STDMETHODIMP COpcGroup::FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP)
{
    if (ppCP == nullptr)
        return E_INVALIDARG;
    *ppCP = nullptr;
    if (!IsEqualIID(riid, IID_IOPCDataCallback))
        return CONNECT_E_NOCONNECTION;
    m_dataCallbackPoint.AddRef();
    *ppCP = &m_dataCallbackPoint;
    return S_OK;
}
