// opc_server.cpp - server object: creation and destruction, interface
// table, group table, IOPCServer, IOPCCommon and its connection point
// container (one point, for IOPCShutdown sinks).
#include "opc_server.h"

#include "com_memory.h"
#include "enum_connection_points.h"
#include "enum_item_string.h"
#include "enum_unknown.h"
#include "error_text.h"
#include "library_state.h"
#include "opc_errors.h"
#include "opc_group.h"
#include "scan_schedule.h"
#include "server_identity.h"
#include "item_properties.h"
#include "server_process.h"
#include "server_registry.h"

#include <olectl.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

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
    if (!m_worker->StartWorker())
        return false;
    RegisterServerObject(this);
    return true;
}

// The last release: the link cut (no worker pass and no group reaches this
// object any more), the worker given up, groups out of the table (those
// that a client still holds live on until their own last release), then
// the server-process count goes back, which may end the process.
COpcDaServer::~COpcDaServer()
{
    UnregisterServerObject(this);
    if (m_link) {
        CAutoLock guard(m_link->lock);
        m_link->server = nullptr;
        m_link->WakeWorker(); // it ends at once
    }
    if (m_worker != nullptr)
        m_worker->Abandon();
    std::vector<COpcGroup *> groups;
    {
        CAutoLock guard(m_lock);
        for (unsigned i = 0; i < kGroupBuckets; ++i) {
            GroupEntry *entry = m_groupTable[i];
            while (entry != nullptr) {
                GroupEntry *next = entry->next;
                try {
                    groups.push_back(entry->group);
                } catch (...) {
                    entry->group->Release();
                }
                delete entry;
                entry = next;
            }
            m_groupTable[i] = nullptr;
        }
        m_groupCount = 0;
    }
    // The table's references; a group the client still holds lives on.
    for (COpcGroup *group : groups)
        group->Release();
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
    else if (IsEqualIID(riid, IID_IOPCBrowse))
        *ppv = static_cast<IOPCBrowse *>(this);
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

bool COpcDaServer::InsertGroup(COpcGroup *group, OPCHANDLE handle)
{
    GroupEntry *entry = new (std::nothrow) GroupEntry{nullptr, group};
    if (entry == nullptr)
        return false;
    GroupEntry *&head = m_groupTable[GroupBucket(handle)];
    entry->next = head;
    head = entry;
    ++m_groupCount;
    return true;
}

COpcGroup *COpcDaServer::FindGroupByName(LPCWSTR name, const COpcGroup *except)
{
    for (unsigned i = 0; i < kGroupBuckets; ++i) {
        for (GroupEntry *entry = m_groupTable[i]; entry != nullptr; entry = entry->next) {
            if (entry->group != except && entry->group->HasName(name))
                return entry->group;
        }
    }
    return nullptr;
}

std::wstring COpcDaServer::UniqueGroupName(OPCHANDLE handle)
{
    for (unsigned n = handle;; ++n) {
        wchar_t name[32];
        std::swprintf(name, 32, L"Group%u", n);
        if (FindGroupByName(name, nullptr) == nullptr)
            return name;
    }
}

HRESULT COpcDaServer::CreateGroup(LPCWSTR name, BOOL active, DWORD requestedRate,
                                  OPCHANDLE clientHandle, LONG timeBias, FLOAT percentDeadband,
                                  LCID locale, COpcGroup *itemSource, OPCHANDLE *serverHandle,
                                  DWORD *revisedRate, REFIID riid, LPUNKNOWN *ppUnk)
{
    COpcGroup *group = new (std::nothrow) COpcGroup(m_link, SvrData());
    if (group == nullptr)
        return E_OUTOFMEMORY;
    // This first reference becomes the group table's.
    group->AddRef();
    HRESULT hr = group->QueryInterface(riid, reinterpret_cast<void **>(ppUnk));
    if (FAILED(hr)) {
        group->Release();
        return hr;
    }
    const OPCHANDLE handle = ++m_nextGroupHandle;
    const DWORD rate = requestedRate < kFastestUpdateRate ? kFastestUpdateRate : requestedRate;
    group->Configure(handle, clientHandle, active, rate, timeBias, percentDeadband, locale);
    if (itemSource != nullptr)
        hr = group->CopyItemsFrom(*itemSource);
    if (SUCCEEDED(hr)) {
        CAutoLock guard(m_lock);
        if (name != nullptr && *name != L'\0' && FindGroupByName(name, nullptr) != nullptr) {
            hr = OPC_E_DUPLICATENAME;
        } else {
            try {
                group->StoreName(name != nullptr && *name != L'\0' ? std::wstring(name).c_str()
                                                                   : UniqueGroupName(handle).c_str());
            } catch (...) {
                hr = E_OUTOFMEMORY;
            }
            if (SUCCEEDED(hr) && !InsertGroup(group, handle))
                hr = E_OUTOFMEMORY;
        }
    }
    if (FAILED(hr)) {
        (*ppUnk)->Release();
        *ppUnk = nullptr;
        group->Release();
        return hr;
    }
    // Its first scan is due at once.
    m_link->WakeWorker();
    if (serverHandle != nullptr)
        *serverHandle = handle;
    if (revisedRate != nullptr)
        *revisedRate = rate;
    return rate != requestedRate ? OPC_S_UNSUPPORTEDRATE : S_OK;
}

// A name that another group of this server object has is refused; an
// empty one is replaced by a new unique name. A revised rate that differs
// from the requested one is reported with OPC_S_UNSUPPORTEDRATE.
STDMETHODIMP COpcDaServer::AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                                    OPCHANDLE hClientGroup, LONG *pTimeBias,
                                    FLOAT *pPercentDeadband, DWORD dwLCID,
                                    OPCHANDLE *phServerGroup, DWORD *pRevisedUpdateRate,
                                    REFIID riid, LPUNKNOWN *ppUnk)
{
    if (ppUnk == nullptr)
        return E_INVALIDARG;
    *ppUnk = nullptr;
    const FLOAT deadband = pPercentDeadband != nullptr ? *pPercentDeadband : 0.0f;
    if (!IsValidPercentDeadband(deadband))
        return E_INVALIDARG;
    return CreateGroup(szName, bActive ? TRUE : FALSE, dwRequestedUpdateRate, hClientGroup,
                       pTimeBias != nullptr ? *pTimeBias : 0, deadband, dwLCID, nullptr,
                       phServerGroup, pRevisedUpdateRate, riid, ppUnk);
}

// The copy is inactive, has a new server handle and no subscriptions.
HRESULT COpcDaServer::CloneGroup(COpcGroup &source, LPCWSTR name, REFIID riid, LPUNKNOWN *ppUnk)
{
    const COpcGroup::State state = source.CurrentState();
    HRESULT hr = CreateGroup(name, FALSE, state.updateRate, state.clientHandle, state.timeBias,
                             state.percentDeadband, state.locale, &source, nullptr, nullptr, riid,
                             ppUnk);
    return hr == OPC_S_UNSUPPORTEDRATE ? S_OK : hr;
}

HRESULT COpcDaServer::RenameGroup(COpcGroup *group, LPCWSTR name)
{
    CAutoLock guard(m_lock);
    if (FindGroupByName(name, group) != nullptr)
        return OPC_E_DUPLICATENAME;
    group->StoreName(name);
    return S_OK;
}

STDMETHODIMP COpcDaServer::GetErrorString(HRESULT dwError, LCID dwLocale, LPWSTR *ppString)
{
    if (ppString == nullptr)
        return E_INVALIDARG;
    *ppString = nullptr;
    if (!IsSupportedLocale(dwLocale))
        return E_INVALIDARG;
    bool outOfMemory = false;
    *ppString = ErrorTextFor(dwError, dwLocale, &outOfMemory);
    if (*ppString != nullptr)
        return S_OK;
    return outOfMemory ? E_OUTOFMEMORY : E_INVALIDARG;
}

STDMETHODIMP COpcDaServer::GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN *ppUnk)
{
    if (szName == nullptr || ppUnk == nullptr)
        return E_INVALIDARG;
    *ppUnk = nullptr;
    CAutoLock guard(m_lock);
    COpcGroup *group = FindGroupByName(szName, nullptr);
    if (group == nullptr)
        return E_INVALIDARG;
    return group->QueryInterface(riid, reinterpret_cast<void **>(ppUnk));
}

STDMETHODIMP COpcDaServer::GetStatus(OPCSERVERSTATUS **ppServerStatus)
{
    if (ppServerStatus == nullptr)
        return E_INVALIDARG;
    *ppServerStatus = nullptr;
    const ServerIdentity identity = CurrentIdentity();
    OPCSERVERSTATUS *status = TaskAllocArray<OPCSERVERSTATUS>(1);
    LPWSTR vendor = TaskStringFromAnsi(identity.serverName.c_str());
    if (status == nullptr || vendor == nullptr) {
        TaskFree(status);
        TaskFree(vendor);
        return E_OUTOFMEMORY;
    }
    // Until the host declared a tag there is nothing to serve.
    const bool configured = SvrData().TagCount() != 0;
    const ULONGLONG lastUpdate = m_link->lastUpdateTime.load();
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    CAutoLock guard(m_lock);
    status->ftStartTime = m_startTime;
    status->ftCurrentTime = now;
    status->ftLastUpdateTime.dwLowDateTime = static_cast<DWORD>(lastUpdate);
    status->ftLastUpdateTime.dwHighDateTime = static_cast<DWORD>(lastUpdate >> 32);
    status->dwServerState = configured ? OPC_STATUS_RUNNING : OPC_STATUS_NOCONFIG;
    status->dwGroupCount = m_groupCount;
    status->dwBandWidth = 0;
    status->wMajorVersion = 1;
    status->wMinorVersion = 1;
    status->wBuildNumber = 1;
    status->wReserved = 0;
    status->szVendorInfo = vendor;
    *ppServerStatus = status;
    return S_OK;
}

// The group leaves the table at once. When the client still holds it and
// does not force the removal, the answer is OPC_S_INUSE; the group then
// lives on, no longer scanned or found by name, until its last release.
STDMETHODIMP COpcDaServer::RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce)
{
    COpcGroup *group = nullptr;
    {
        CAutoLock guard(m_lock);
        group = TakeGroup(hServerGroup);
    }
    if (group == nullptr)
        return E_INVALIDARG;
    const bool inUse = group->ClientReferences() > 0;
    group->Release();
    return inUse && !bForce ? OPC_S_INUSE : S_OK;
}

DWORD COpcDaServer::GroupCount()
{
    CAutoLock guard(m_lock);
    return m_groupCount;
}

// The groups of this server object, by name (IEnumString) or as objects
// (IEnumUnknown). There are no public groups: the public scopes are empty
// (S_FALSE with an empty enumerator, as for a server without groups).
STDMETHODIMP COpcDaServer::CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN *ppUnk)
{
    if (ppUnk == nullptr)
        return E_INVALIDARG;
    *ppUnk = nullptr;
    if (dwScope < OPC_ENUM_PRIVATE_CONNECTIONS || dwScope > OPC_ENUM_ALL)
        return E_INVALIDARG;
    const bool byName = IsEqualIID(riid, IID_IEnumString);
    if (!byName && !IsEqualIID(riid, IID_IEnumUnknown))
        return E_NOINTERFACE;
    const bool privateGroups = dwScope != OPC_ENUM_PUBLIC_CONNECTIONS && dwScope != OPC_ENUM_PUBLIC;
    std::vector<std::wstring> names;
    std::vector<IUnknown *> objects;
    try {
        CAutoLock guard(m_lock);
        for (unsigned i = 0; privateGroups && i < kGroupBuckets; ++i) {
            for (GroupEntry *entry = m_groupTable[i]; entry != nullptr; entry = entry->next) {
                if (byName) {
                    names.push_back(entry->group->Name());
                    continue;
                }
                objects.push_back(nullptr);
                entry->group->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&objects.back()));
            }
        }
    } catch (...) {
        for (IUnknown *object : objects) {
            if (object != nullptr)
                object->Release();
        }
        return E_OUTOFMEMORY;
    }
    const bool empty = names.empty() && objects.empty();
    IUnknown *enumerator = nullptr;
    if (byName)
        enumerator = new (std::nothrow) CEnumItemString(std::move(names));
    else
        enumerator = new (std::nothrow) CEnumUnknown(std::move(objects));
    if (enumerator == nullptr) {
        // No enumerator was built: the objects are still ours.
        for (IUnknown *object : objects) {
            if (object != nullptr)
                object->Release();
        }
        return E_OUTOFMEMORY;
    }
    HRESULT hr = enumerator->QueryInterface(riid, reinterpret_cast<void **>(ppUnk));
    if (FAILED(hr))
        return hr;
    return empty ? S_FALSE : S_OK;
}

// Requests and scans run under the server lock, group by group; the client
// callbacks they prepare are made by the worker after it released the locks.
ULONGLONG COpcDaServer::CollectPass(ULONGLONG now, DeliveryList &deliveries)
{
    ULONGLONG next = scan_schedule::kNever;
    CAutoLock guard(m_lock);
    for (unsigned i = 0; i < kGroupBuckets; ++i) {
        for (GroupEntry *entry = m_groupTable[i]; entry != nullptr; entry = entry->next) {
            const ULONGLONG due = entry->group->RunStep(now, deliveries);
            if (due < next)
                next = due;
        }
    }
    return next;
}

STDMETHODIMP COpcDaServer::SetLocaleID(LCID dwLcid)
{
    if (!IsSupportedLocale(dwLcid))
        return E_INVALIDARG;
    m_locale = dwLcid;
    m_link->locale = dwLcid;
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

STDMETHODIMP COpcDaServer::GetErrorString(HRESULT dwError, LPWSTR *ppString)
{
    return GetErrorString(dwError, m_locale.load(), ppString);
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

STDMETHODIMP COpcDaServer::FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP)
{
    if (ppCP == nullptr)
        return E_INVALIDARG;
    *ppCP = nullptr;
    if (!IsEqualIID(riid, IID_IOPCShutdown))
        return CONNECT_E_NOCONNECTION;
    m_shutdownPoint.AddRef();
    *ppCP = &m_shutdownPoint;
    return S_OK;
}
