// opc_server.cpp - server object: creation and destruction, interface
// table, group table, IOPCServer, IOPCCommon and its connection point
// container (one point, for IOPCShutdown sinks).
#include "opc_server.h"

#include "com_memory.h"
#include "enum_connection_points.h"
#include "library_state.h"
#include "opc_group.h"
#include "server_process.h"

#include <cstring>
#include <new>

COpcDaServer::COpcDaServer()
    : m_groupCount(0), m_locale(kDefaultLocale),
      m_shutdownPoint(static_cast<IOPCServer *>(this)), m_worker(nullptr), m_nextGroupHandle(0),
      m_refs(0), m_holdsProcess(false)
{
    std::memset(m_groupTable, 0, sizeof(m_groupTable));
    m_clientName[0] = L'\0';
    m_browsePosition[0] = '\0';
    GetSystemTimeAsFileTime(&m_startTime);
}

COpcDaServer *COpcDaServer::Create()
{
    COpcDaServer *server = new (std::nothrow) COpcDaServer();
    if (server == nullptr)
        return nullptr;
    if (!server->Initialise()) {
        delete server;
        return nullptr;
    }
    return server;
}

bool COpcDaServer::Initialise()
{
    try {
        m_link = std::make_shared<CServerLink>();
    } catch (...) {
        return false;
    }
    m_link->server = this;
    m_worker = new (std::nothrow) CDoAsynThread(m_link);
    if (m_worker == nullptr)
        return false;
    AddRefServerProcess();
    m_holdsProcess = true;
    return m_worker->StartWorker();
}

// The last release: the link cut (no worker pass and no group reaches this
// object any more), the worker given up, groups out of the table (those
// that a client still holds live on until their own last release), then
// the server-process count goes back, which may end the process.
COpcDaServer::~COpcDaServer()
{
    if (m_link) {
        CAutoLock guard(m_link->lock);
        m_link->server = nullptr;
    }
    if (m_worker != nullptr)
        m_worker->Abandon();
    {
        CAutoLock guard(m_lock);
        for (unsigned i = 0; i < kGroupBuckets; ++i) {
            GroupEntry *entry = m_groupTable[i];
            while (entry != nullptr) {
                GroupEntry *next = entry->next;
                delete entry;
                entry = next;
            }
            m_groupTable[i] = nullptr;
        }
        m_groupCount = 0;
    }
    m_shutdownPoint.ReleaseAll();
    if (m_holdsProcess) {
        m_holdsProcess = false;
        ReleaseServerProcess();
    }
}

STDMETHODIMP COpcDaServer::QueryInterface(REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCServer))
        *ppv = static_cast<IOPCServer *>(this);
    else if (IsEqualIID(riid, IID_IOPCCommon))
        *ppv = static_cast<IOPCCommon *>(this);
    else if (IsEqualIID(riid, IID_IOPCItemIO))
        *ppv = static_cast<IOPCItemIO *>(this);
    else if (IsEqualIID(riid, IID_IOPCItemProperties))
        *ppv = static_cast<IOPCItemProperties *>(this);
    else if (IsEqualIID(riid, IID_IOPCBrowseServerAddressSpace))
        *ppv = static_cast<IOPCBrowseServerAddressSpace *>(this);
    else if (IsEqualIID(riid, IID_IConnectionPointContainer))
        *ppv = static_cast<IConnectionPointContainer *>(this);
    else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) COpcDaServer::AddRef()
{
    return static_cast<ULONG>(++m_refs);
}

STDMETHODIMP_(ULONG) COpcDaServer::Release()
{
    const LONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

unsigned COpcDaServer::GroupBucket(OPCHANDLE handle)
{
    return static_cast<DWORD>(handle * 0x9E3779B9u) % kGroupBuckets;
}

COpcGroup *COpcDaServer::TakeGroup(OPCHANDLE handle)
{
    GroupEntry **link = &m_groupTable[GroupBucket(handle)];
    while (*link != nullptr) {
        GroupEntry *entry = *link;
        if (entry->group->ServerHandle() == handle) {
            *link = entry->next;
            COpcGroup *group = entry->group;
            delete entry;
            --m_groupCount;
            return group;
        }
        link = &entry->next;
    }
    return nullptr;
}

void COpcDaServer::InsertGroup(COpcGroup *group, OPCHANDLE handle)
{
    GroupEntry *entry = new (std::nothrow) GroupEntry{nullptr, group};
    if (entry == nullptr)
        return; // the group works, it only is not scanned or found by name
    GroupEntry *&head = m_groupTable[GroupBucket(handle)];
    entry->next = head;
    head = entry;
    ++m_groupCount;
}

STDMETHODIMP COpcDaServer::AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                                    OPCHANDLE hClientGroup, LONG *pTimeBias,
                                    FLOAT *pPercentDeadband, DWORD dwLCID,
                                    OPCHANDLE *phServerGroup, DWORD *pRevisedUpdateRate,
                                    REFIID riid, LPUNKNOWN *ppUnk)
{
    if (ppUnk == nullptr)
        return E_INVALIDARG;
    *ppUnk = nullptr;
    COpcGroup *group = new (std::nothrow) COpcGroup(m_link, SvrData());
    if (group == nullptr)
        return E_OUTOFMEMORY;
    // The first reference: a failed query destroys the group again.
    group->AddRef();
    HRESULT hr = group->QueryInterface(riid, reinterpret_cast<void **>(ppUnk));
    if (FAILED(hr)) {
        group->Release();
        return hr;
    }

    const OPCHANDLE handle = ++m_nextGroupHandle;
    const DWORD rate = dwRequestedUpdateRate < 200 ? 200 : dwRequestedUpdateRate;
    group->Configure(handle, hClientGroup, bActive, rate, pTimeBias != nullptr ? *pTimeBias : 0,
                     pPercentDeadband != nullptr ? *pPercentDeadband : 0.0f, dwLCID, szName);
    if (phServerGroup != nullptr)
        *phServerGroup = handle;
    if (pRevisedUpdateRate != nullptr)
        *pRevisedUpdateRate = rate;
    {
        CAutoLock guard(m_lock);
        InsertGroup(group, handle);
    }
    group->Release(); // the client's reference from the query remains
    return S_OK;
}

STDMETHODIMP COpcDaServer::GetErrorString(HRESULT, LCID, LPWSTR *ppString)
{
    if (ppString != nullptr)
        *ppString = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COpcDaServer::GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN *ppUnk)
{
    if (szName == nullptr || ppUnk == nullptr)
        return E_INVALIDARG;
    *ppUnk = nullptr;
    CAutoLock guard(m_lock);
    for (unsigned i = 0; i < kGroupBuckets; ++i) {
        for (GroupEntry *entry = m_groupTable[i]; entry != nullptr; entry = entry->next) {
            if (entry->group->HasName(szName))
                return entry->group->QueryInterface(riid, reinterpret_cast<void **>(ppUnk));
        }
    }
    return E_FAIL;
}

STDMETHODIMP COpcDaServer::GetStatus(OPCSERVERSTATUS **ppServerStatus)
{
    if (ppServerStatus == nullptr)
        return E_INVALIDARG;
    *ppServerStatus = nullptr;
    CAutoLock guard(m_lock);
    OPCSERVERSTATUS *status = TaskAllocArray<OPCSERVERSTATUS>(1);
    if (status == nullptr)
        return E_OUTOFMEMORY;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    status->ftStartTime = m_startTime;
    status->ftCurrentTime = now;
    status->ftLastUpdateTime = now;
    status->dwServerState = OPC_STATUS_RUNNING;
    status->dwGroupCount = m_groupCount;
    status->dwBandWidth = 0;
    status->wMajorVersion = 1;
    status->wMinorVersion = 1;
    status->wBuildNumber = 1;
    status->wReserved = 0;
    status->szVendorInfo = nullptr;
    *ppServerStatus = status;
    return S_OK;
}

// Takes the group out of the table. A group the client still holds lives
// on until its last release; it is no longer scanned or found by name.
STDMETHODIMP COpcDaServer::RemoveGroup(OPCHANDLE hServerGroup, BOOL)
{
    CAutoLock guard(m_lock);
    TakeGroup(hServerGroup);
    return S_OK;
}

void COpcDaServer::DropGroup(COpcGroup *group)
{
    CAutoLock guard(m_lock);
    GroupEntry **link = &m_groupTable[GroupBucket(group->ServerHandle())];
    while (*link != nullptr) {
        GroupEntry *entry = *link;
        if (entry->group == group) {
            *link = entry->next;
            delete entry;
            --m_groupCount;
            return;
        }
        link = &entry->next;
    }
}

DWORD COpcDaServer::GroupCount()
{
    CAutoLock guard(m_lock);
    return m_groupCount;
}

STDMETHODIMP COpcDaServer::CreateGroupEnumerator(OPCENUMSCOPE, REFIID, LPUNKNOWN *ppUnk)
{
    if (ppUnk != nullptr)
        *ppUnk = nullptr;
    return E_NOTIMPL;
}

// Requests and scans run under the server lock, group by group; the client
// callbacks they prepare are made by the worker after it released the locks.
bool COpcDaServer::CollectPass(DeliveryList &deliveries)
{
    bool didWork = false;
    CAutoLock guard(m_lock);
    for (unsigned i = 0; i < kGroupBuckets; ++i) {
        for (GroupEntry *entry = m_groupTable[i]; entry != nullptr; entry = entry->next) {
            if (entry->group->RunStep(deliveries))
                didWork = true;
        }
    }
    return didWork;
}

STDMETHODIMP COpcDaServer::SetLocaleID(LCID dwLcid)
{
    m_locale = dwLcid;
    return S_OK;
}

STDMETHODIMP COpcDaServer::GetLocaleID(LCID *pdwLcid)
{
    if (pdwLcid == nullptr)
        return E_INVALIDARG;
    *pdwLcid = m_locale;
    return S_OK;
}

STDMETHODIMP COpcDaServer::QueryAvailableLocaleIDs(DWORD *pdwCount, LCID **pdwLcid)
{
    if (pdwCount == nullptr || pdwLcid == nullptr)
        return E_INVALIDARG;
    *pdwCount = 0;
    *pdwLcid = nullptr;
    LCID *locales = TaskAllocArray<LCID>(2);
    if (locales == nullptr)
        return E_OUTOFMEMORY;
    locales[0] = 1033;
    locales[1] = 2052;
    *pdwLcid = locales;
    *pdwCount = 2;
    return S_OK;
}

STDMETHODIMP COpcDaServer::GetErrorString(HRESULT, LPWSTR *ppString)
{
    if (ppString != nullptr)
        *ppString = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COpcDaServer::SetClientName(LPCWSTR szName)
{
    if (szName == nullptr)
        return E_INVALIDARG;
    CAutoLock guard(m_lock);
    lstrcpynW(m_clientName, szName, 260);
    return S_OK;
}

STDMETHODIMP COpcDaServer::EnumConnectionPoints(IEnumConnectionPoints **ppEnum)
{
    if (ppEnum == nullptr)
        return E_INVALIDARG;
    *ppEnum = nullptr;
    CIEnumConnectionPoints *enumerator = new (std::nothrow) CIEnumConnectionPoints(&m_shutdownPoint);
    if (enumerator == nullptr)
        return E_OUTOFMEMORY;
    return enumerator->QueryInterface(IID_IEnumConnectionPoints, reinterpret_cast<void **>(ppEnum));
}

STDMETHODIMP COpcDaServer::FindConnectionPoint(REFIID, IConnectionPoint **ppCP)
{
    if (ppCP == nullptr)
        return E_INVALIDARG;
    *ppCP = nullptr;
    return E_NOTIMPL;
}
