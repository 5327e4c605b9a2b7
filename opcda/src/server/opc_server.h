// opc_server.h - the OPC DA server object, one per client connection: its
// groups, status and locale, browsing of the tag hierarchy, item properties
// and reads/writes by item ID. Every server object sees the one tag table.
#pragma once

#include "connection_point.h"
#include "delivery.h"
#include "do_asyn_thread.h"
#include "lock.h"
#include "opc_interfaces.h"
#include "server_link.h"

#include <atomic>
#include <string>

class COpcGroup;

class COpcDaServer final : public IOPCServer,
                     public IOPCCommon,
                     public IOPCItemProperties,
                     public IOPCBrowseServerAddressSpace,
                     public IOPCItemIO,
                     public IOPCBrowse,
                     public IConnectionPointContainer {
public:
    static const unsigned kGroupBuckets = 32;
    static const LCID kDefaultLocale = 2052;

    // Creates a server object with a reference count of 0, holding one
    // server-process count and running its worker. Null when out of memory.
    static COpcDaServer *Create();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IOPCServer
    STDMETHODIMP AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                          OPCHANDLE hClientGroup, LONG *pTimeBias, FLOAT *pPercentDeadband,
                          DWORD dwLCID, OPCHANDLE *phServerGroup, DWORD *pRevisedUpdateRate,
                          REFIID riid, LPUNKNOWN *ppUnk) override;
    STDMETHODIMP GetErrorString(HRESULT dwError, LCID dwLocale, LPWSTR *ppString) override;
    STDMETHODIMP GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN *ppUnk) override;
    STDMETHODIMP GetStatus(OPCSERVERSTATUS **ppServerStatus) override;
    STDMETHODIMP RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override;
    STDMETHODIMP CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN *ppUnk) override;

    // IOPCCommon
    STDMETHODIMP SetLocaleID(LCID dwLcid) override;
    STDMETHODIMP GetLocaleID(LCID *pdwLcid) override;
    STDMETHODIMP QueryAvailableLocaleIDs(DWORD *pdwCount, LCID **pdwLcid) override;
    STDMETHODIMP GetErrorString(HRESULT dwError, LPWSTR *ppString) override;
    STDMETHODIMP SetClientName(LPCWSTR szName) override;

    // IOPCItemProperties
    STDMETHODIMP QueryAvailableProperties(LPWSTR szItemID, DWORD *pdwCount, DWORD **ppPropertyIDs,
                                          LPWSTR **ppDescriptions, VARTYPE **ppvtDataTypes) override;
    STDMETHODIMP GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD *pdwPropertyIDs,
                                   VARIANT **ppvData, HRESULT **ppErrors) override;
    STDMETHODIMP LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD *pdwPropertyIDs,
                               LPWSTR **ppszNewItemIDs, HRESULT **ppErrors) override;

    // IOPCBrowseServerAddressSpace
    STDMETHODIMP QueryOrganization(OPCNAMESPACETYPE *pNameSpaceType) override;
    STDMETHODIMP ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, LPCWSTR szString) override;
    STDMETHODIMP BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria,
                                  VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                                  LPENUMSTRING *ppIEnumString) override;
    STDMETHODIMP GetItemID(LPWSTR szItemDataID, LPWSTR *szItemID) override;
    STDMETHODIMP BrowseAccessPaths(LPCWSTR szItemID, LPENUMSTRING *ppIEnumString) override;

    // IOPCItemIO
    STDMETHODIMP Read(DWORD dwCount, LPCWSTR *pszItemIDs, DWORD *pdwMaxAge, VARIANT **ppvValues,
                      WORD **ppwQualities, FILETIME **ppftTimeStamps, HRESULT **ppErrors) override;
    STDMETHODIMP WriteVQT(DWORD dwCount, LPCWSTR *pszItemIDs, OPCITEMVQT *pItemVQT,
                          HRESULT **ppErrors) override;

    // IOPCBrowse
    STDMETHODIMP GetProperties(DWORD dwItemCount, LPWSTR *pszItemIDs, BOOL bReturnPropertyValues,
                               DWORD dwPropertyCount, DWORD *pdwPropertyIDs,
                               OPCITEMPROPERTIES **ppItemProperties) override;
    STDMETHODIMP Browse(LPWSTR szItemID, LPWSTR *pszContinuationPoint, DWORD dwMaxElementsReturned,
                        OPCBROWSEFILTER dwBrowseFilter, LPWSTR szElementNameFilter,
                        LPWSTR szVendorFilter, BOOL bReturnAllProperties,
                        BOOL bReturnPropertyValues, DWORD dwPropertyCount, DWORD *pdwPropertyIDs,
                        BOOL *pbMoreElements, DWORD *pdwCount,
                        OPCBROWSEELEMENT **ppBrowseElements) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints **ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) override;

    // One pass of the worker over every group at the time now: requests run
    // and due scans made, their callbacks added to deliveries. Returns the
    // earliest time a group needs the worker again (scan_schedule clock).
    ULONGLONG CollectPass(ULONGLONG now, DeliveryList &deliveries);
    // IOPCGroupStateMgt::SetName and CloneGroup of a group, called by the
    // group under the link's lock: names are unique among the groups.
    HRESULT RenameGroup(COpcGroup *group, LPCWSTR name);
    HRESULT CloneGroup(COpcGroup &source, LPCWSTR name, REFIID riid, LPUNKNOWN *ppUnk);
    // Group count, for tests and status.
    DWORD GroupCount();
    // The shutdown notice: the object's locale and its IOPCShutdown sinks
    // (each with a reference the caller releases).
    LCID Locale() const { return m_locale.load(); }
    std::vector<IUnknown *> ShutdownSinks() { return m_shutdownPoint.Sinks(); }

private:
    struct GroupEntry {
        GroupEntry *next;
        COpcGroup *group;
    };

    COpcDaServer();
    ~COpcDaServer();
    bool Initialise();

    static unsigned GroupBucket(OPCHANDLE handle);
    // Callers hold m_lock. Unlinks the group with this handle; null if none.
    // The table's reference goes to the caller.
    COpcGroup *TakeGroup(OPCHANDLE handle);
    // Callers hold m_lock. The table takes over the caller's reference;
    // false when memory is exhausted.
    bool InsertGroup(COpcGroup *group, OPCHANDLE handle);
    // Callers hold m_lock. The group with this name other than except.
    COpcGroup *FindGroupByName(LPCWSTR name, const COpcGroup *except);
    // Callers hold m_lock. A name no group has yet.
    std::wstring UniqueGroupName(OPCHANDLE handle);
    // AddGroup and CloneGroup: a new group in the table, queried for riid.
    HRESULT CreateGroup(LPCWSTR name, BOOL active, DWORD requestedRate, OPCHANDLE clientHandle,
                        LONG timeBias, FLOAT percentDeadband, LCID locale, COpcGroup *itemSource,
                        OPCHANDLE *serverHandle, DWORD *revisedRate, REFIID riid,
                        LPUNKNOWN *ppUnk);

    CLock m_lock;
    GroupEntry *m_groupTable[kGroupBuckets];
    DWORD m_groupCount;
    std::atomic<LCID> m_locale;
    WCHAR m_clientName[260];
    FILETIME m_startTime;
    CConnectPointShutdown m_shutdownPoint;
    CDoAsynThread *m_worker; // owned until the destruction gives it up
    std::atomic<DWORD> m_nextGroupHandle;
    CLock m_browseLock;
    char m_browsePosition[128];
    std::atomic<LONG> m_refs;
    ServerLinkPtr m_link;
    bool m_holdsProcess;
};
