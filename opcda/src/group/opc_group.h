// opc_group.h - a group: the client's unit of subscription, with its items,
// state and keep-alive, synchronous and asynchronous reads and writes, item
// deadbands and sampling rates, and data-change subscriptions
// (IOPCDataCallback through its connection point, IDataObject advises with
// the OPC DA 1.0 stream formats).
#pragma once

#include "async_request.h"
#include "com_memory.h"
#include "connection_point.h"
#include "delivery.h"
#include "group_item.h"
#include "lock.h"
#include "opc_errors.h"
#include "opc_interfaces.h"
#include "server_link.h"
#include "tag_batch_io.h"

#include <atomic>
#include <string>
#include <vector>

class COpcData;

// Percent deadbands run from 0 to 100.
bool IsValidPercentDeadband(FLOAT percent);

class COpcGroup final : public IOPCItemMgt,
                  public IOPCGroupStateMgt2,
                  public IDataObject,
                  public IOPCAsyncIO,
                  public IOPCSyncIO2,
                  public IOPCAsyncIO3,
                  public IOPCItemDeadbandMgt,
                  public IOPCItemSamplingMgt,
                  public IConnectionPointContainer {
public:
    static const size_t kInitialItemBuckets = 7777;
    static const size_t kMaxAdvises = 256;

    COpcGroup(const ServerLinkPtr &link, COpcData &tags);

    // Set by AddGroup before the group is handed out.
    void Configure(OPCHANDLE serverHandle, OPCHANDLE clientHandle, BOOL active,
                   DWORD updateRate, LONG timeBias, FLOAT percentDeadband, LCID locale);
    OPCHANDLE ServerHandle() const { return m_serverHandle; }
    // True when the group's name is exactly name.
    bool HasName(LPCWSTR name);
    // Stores the name; uniqueness is the server's to check.
    void StoreName(LPCWSTR name);
    std::wstring Name();
    // References held by others than the server's group table.
    LONG ClientReferences() const { return m_refs.load() - 1; }
    // Copies the items of another group (CloneGroup): same item handles,
    // client handles, requested types, active states and deadbands.
    HRESULT CopyItemsFrom(COpcGroup &source);
    // State copied by CloneGroup.
    struct State {
        OPCHANDLE clientHandle;
        DWORD updateRate;
        LONG timeBias;
        FLOAT percentDeadband;
        LCID locale;
    };
    State CurrentState();

    // One worker step at the time now (scan_schedule::Now()): the oldest
    // queued request, else the scan or keep-alive that is due. The callbacks
    // it prepares go to deliveries, to be made after the locks are released.
    // Returns when the group next needs the worker: now when requests are
    // waiting, scan_schedule::kNever when nothing will be due.
    ULONGLONG RunStep(ULONGLONG now, DeliveryList &deliveries);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IOPCItemMgt
    STDMETHODIMP AddItems(DWORD dwCount, OPCITEMDEF *pItemArray, OPCITEMRESULT **ppAddResults,
                          HRESULT **ppErrors) override;
    STDMETHODIMP ValidateItems(DWORD dwCount, OPCITEMDEF *pItemArray, BOOL bBlobUpdate,
                               OPCITEMRESULT **ppValidationResults, HRESULT **ppErrors) override;
    STDMETHODIMP RemoveItems(DWORD dwCount, OPCHANDLE *phServer, HRESULT **ppErrors) override;
    STDMETHODIMP SetActiveState(DWORD dwCount, OPCHANDLE *phServer, BOOL bActive,
                                HRESULT **ppErrors) override;
    STDMETHODIMP SetClientHandles(DWORD dwCount, OPCHANDLE *phServer, OPCHANDLE *phClient,
                                  HRESULT **ppErrors) override;
    STDMETHODIMP SetDatatypes(DWORD dwCount, OPCHANDLE *phServer, VARTYPE *pRequestedDatatypes,
                              HRESULT **ppErrors) override;
    STDMETHODIMP CreateEnumerator(REFIID riid, LPUNKNOWN *ppUnk) override;

    // IOPCGroupStateMgt, IOPCGroupStateMgt2
    STDMETHODIMP GetState(DWORD *pUpdateRate, BOOL *pActive, LPWSTR *ppName, LONG *pTimeBias,
                          FLOAT *pPercentDeadband, DWORD *pLCID, OPCHANDLE *phClientGroup,
                          OPCHANDLE *phServerGroup) override;
    STDMETHODIMP SetState(DWORD *pRequestedUpdateRate, DWORD *pRevisedUpdateRate, BOOL *pActive,
                          LONG *pTimeBias, FLOAT *pPercentDeadband, DWORD *pLCID,
                          OPCHANDLE *phClientGroup) override;
    STDMETHODIMP SetName(LPCWSTR szName) override;
    STDMETHODIMP CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN *ppUnk) override;
    STDMETHODIMP SetKeepAlive(DWORD dwKeepAliveTime, DWORD *pdwRevisedKeepAliveTime) override;
    STDMETHODIMP GetKeepAlive(DWORD *pdwKeepAliveTime) override;

    // IOPCItemDeadbandMgt
    STDMETHODIMP SetItemDeadband(DWORD dwCount, OPCHANDLE *phServer, FLOAT *pPercentDeadband,
                                 HRESULT **ppErrors) override;
    STDMETHODIMP GetItemDeadband(DWORD dwCount, OPCHANDLE *phServer, FLOAT **ppPercentDeadband,
                                 HRESULT **ppErrors) override;
    STDMETHODIMP ClearItemDeadband(DWORD dwCount, OPCHANDLE *phServer, HRESULT **ppErrors) override;

    // IOPCItemSamplingMgt
    STDMETHODIMP SetItemSamplingRate(DWORD dwCount, OPCHANDLE *phServer,
                                     DWORD *pdwRequestedSamplingRate,
                                     DWORD **ppdwRevisedSamplingRate, HRESULT **ppErrors) override;
    STDMETHODIMP GetItemSamplingRate(DWORD dwCount, OPCHANDLE *phServer, DWORD **ppdwSamplingRate,
                                     HRESULT **ppErrors) override;
    STDMETHODIMP ClearItemSamplingRate(DWORD dwCount, OPCHANDLE *phServer,
                                       HRESULT **ppErrors) override;
    STDMETHODIMP SetItemBufferEnable(DWORD dwCount, OPCHANDLE *phServer, BOOL *pbEnable,
                                     HRESULT **ppErrors) override;
    STDMETHODIMP GetItemBufferEnable(DWORD dwCount, OPCHANDLE *phServer, BOOL **ppbEnable,
                                     HRESULT **ppErrors) override;

    // IDataObject
    STDMETHODIMP GetData(FORMATETC *pformatetcIn, STGMEDIUM *pmedium) override;
    STDMETHODIMP GetDataHere(FORMATETC *pformatetc, STGMEDIUM *pmedium) override;
    STDMETHODIMP QueryGetData(FORMATETC *pformatetc) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC *pformatectIn, FORMATETC *pformatetcOut) override;
    STDMETHODIMP SetData(FORMATETC *pformatetc, STGMEDIUM *pmedium, BOOL fRelease) override;
    STDMETHODIMP EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC **ppenumFormatEtc) override;
    STDMETHODIMP DAdvise(FORMATETC *pformatetc, DWORD advf, IAdviseSink *pAdvSink,
                         DWORD *pdwConnection) override;
    STDMETHODIMP DUnadvise(DWORD dwConnection) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA **ppenumAdvise) override;

    // IOPCAsyncIO (OPC DA 1.0)
    STDMETHODIMP Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount,
                      OPCHANDLE *phServer, DWORD *pTransactionID, HRESULT **ppErrors) override;
    STDMETHODIMP Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE *phServer,
                       VARIANT *pItemValues, DWORD *pTransactionID, HRESULT **ppErrors) override;
    STDMETHODIMP Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD *pTransactionID) override;
    STDMETHODIMP Cancel(DWORD dwTransactionID) override;

    // IOPCSyncIO, IOPCSyncIO2
    STDMETHODIMP Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE *phServer,
                      OPCITEMSTATE **ppItemValues, HRESULT **ppErrors) override;
    STDMETHODIMP Write(DWORD dwCount, OPCHANDLE *phServer, VARIANT *pItemValues,
                       HRESULT **ppErrors) override;
    STDMETHODIMP ReadMaxAge(DWORD dwCount, OPCHANDLE *phServer, DWORD *pdwMaxAge,
                            VARIANT **ppvValues, WORD **ppwQualities, FILETIME **ppftTimeStamps,
                            HRESULT **ppErrors) override;
    STDMETHODIMP WriteVQT(DWORD dwCount, OPCHANDLE *phServer, OPCITEMVQT *pItemVQT,
                          HRESULT **ppErrors) override;

    // IOPCAsyncIO2, IOPCAsyncIO3
    STDMETHODIMP Read(DWORD dwCount, OPCHANDLE *phServer, DWORD dwTransactionID,
                      DWORD *pdwCancelID, HRESULT **ppErrors) override;
    STDMETHODIMP Write(DWORD dwCount, OPCHANDLE *phServer, VARIANT *pItemValues,
                       DWORD dwTransactionID, DWORD *pdwCancelID, HRESULT **ppErrors) override;
    STDMETHODIMP Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD *pdwCancelID) override;
    STDMETHODIMP Cancel2(DWORD dwCancelID) override;
    STDMETHODIMP SetEnable(BOOL bEnable) override;
    STDMETHODIMP GetEnable(BOOL *pbEnable) override;
    STDMETHODIMP ReadMaxAge(DWORD dwCount, OPCHANDLE *phServer, DWORD *pdwMaxAge,
                            DWORD dwTransactionID, DWORD *pdwCancelID, HRESULT **ppErrors) override;
    STDMETHODIMP WriteVQT(DWORD dwCount, OPCHANDLE *phServer, OPCITEMVQT *pItemVQT,
                          DWORD dwTransactionID, DWORD *pdwCancelID, HRESULT **ppErrors) override;
    STDMETHODIMP RefreshMaxAge(DWORD dwMaxAge, DWORD dwTransactionID, DWORD *pdwCancelID) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints **ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) override;

private:
    struct AdviseEntry {
        IAdviseSink *sink;
        DWORD connection;
        CLIPFORMAT format;
        bool withTime;   // false only for the data format without time
        bool dataFormat; // false for the write-complete format
    };

    ~COpcGroup();

    // Marks every active item to report its current value at the next
    // scan. Callers hold m_lock.
    void ResendActiveItems();
    // Sync reads: one item of the group read under m_lock into the caller's
    // fields, converted to its requested type; cache reads of an inactive
    // item or group carry the quality "out of service".
    HRESULT ReadGroupItem(OPCHANDLE handle, bool cache, OPCHANDLE *clientHandle, VARIANT *value,
                          WORD *quality, FILETIME *timestamp);
    // Which of the handles are items of the group (taken under m_lock).
    std::vector<bool> Membership(DWORD count, const OPCHANDLE *handles);
    template <typename WriteOne>
    HRESULT WriteMembers(DWORD count, const OPCHANDLE *handles, HRESULT **ppErrors,
                         WriteOne write);
    // The server object's locale, under which client writes are converted.
    LCID ServerLocale() const;

    // Shared checks and allocation of the item management methods.
    HRESULT ResolveItems(DWORD count, OPCITEMDEF *items, bool add, OPCITEMRESULT **results,
                         HRESULT **errors);
    template <typename Apply>
    HRESULT ForEachHandle(DWORD count, OPCHANDLE *handles, const void *values, HRESULT **errors,
                          Apply apply);
    // The same with a task-memory array of results handed out in *out:
    // apply(item, index, array).
    template <typename T, typename Apply>
    HRESULT ForEachHandleInto(DWORD count, OPCHANDLE *handles, T **out, HRESULT **errors,
                              Apply apply);
    // Queues an asynchronous request; see async_request.h.
    // connection 0: an IOPCAsyncIO2/3 request; else the IDataObject advise
    // of an OPC DA 1.0 request.
    HRESULT QueueRequest(AsyncRequest::Kind kind, DWORD count, OPCHANDLE *handles,
                         const DWORD *maxAges, const VARIANT *values, const OPCITEMVQT *records,
                         DWORD transactionId, DWORD *cancelId, HRESULT **errors,
                         DWORD connection = 0);
    HRESULT QueueRefresh(AsyncRequest::Kind kind, DWORD transactionId, DWORD *cancelId,
                         DWORD connection = 0);
    // Callers hold m_lock. Whether the advise exists and has the format a
    // DA 1.0 request needs (write complete, or data).
    bool HasStreamAdvise(DWORD connection, bool writeComplete) const;
    // Runs the completion of a DA 1.0 request to its advise.
    void RunStreamRequest(AsyncRequest &request, DeliveryList &deliveries);
    // The group items a request reads: the active ones for a refresh, else
    // its handles' (null for one removed meanwhile).
    std::vector<const GroupItem *> RequestItems(const AsyncRequest &request, bool refresh);
    // Runs a request's writes: client handle and result per item.
    void WriteRequestItems(const AsyncRequest &request, std::vector<OPCHANDLE> &clientHandles,
                           std::vector<HRESULT> &results);
    void RunRequest(AsyncRequest &request, DeliveryList &deliveries);
    // A scan; true when it made a data-change callback.
    bool RunScan(DWORD now, DeliveryList &deliveries);
    // The next scan comes at once and the worker is woken (activation, a
    // new rate). Callers hold m_lock.
    void ScanAtOnce();
    // True when the item's change stays within its percent deadband
    // (analog items only): it is then not reported.
    bool WithinDeadband(const GroupItem &item, const VARIANT &value, WORD quality);
    // Remembers what was reported of the item, for its next deadband test.
    void NoteReported(GroupItem &item, const VARIANT &value, WORD quality);

    // Reads the given group items (null: removed meanwhile) into values.
    std::unique_ptr<ItemValues> ReadGroupItems(const std::vector<const GroupItem *> &items);

    std::atomic<LONG> m_refs;
    ServerLinkPtr m_link;
    COpcData &m_tags;
    CLock m_lock;
    CConnectPointGroup m_dataCallbackPoint;
    std::vector<AdviseEntry> m_advises;
    DWORD m_nextConnection;
    DWORD m_nextTransaction;
    CAsyncRequestQueue m_requests;
    WCHAR m_name[260];
    OPCHANDLE m_serverHandle;
    OPCHANDLE m_clientHandle;
    BOOL m_active;
    DWORD m_updateRate;
    LONG m_timeBias;
    FLOAT m_percentDeadband;
    LCID m_locale;
    BOOL m_enable;
    ULONGLONG m_scanDue;      // next scan (scan_schedule clock); 0 = at once
    DWORD m_keepAlive;        // ms, 0 = no keep-alive callbacks
    ULONGLONG m_lastCallback; // last data-change callback of the subscription
    GroupItemMap m_items;
    // The tag table's change serial when the last scan had looked at every
    // item (0: none yet), and whether an item waits to send its value
    // unchanged: without either, a scan has nothing to look at.
    DWORD m_scannedSerial;
    bool m_resendPending;
    // Working lists of RunScan, kept for their storage.
    std::vector<GroupItem *> m_scanItems;
    std::vector<DWORD> m_scanHandles;
    std::vector<DWORD> m_scanStamps;
};

// Runs apply(item, index) for every handle found in the item map, under the
// group lock; its result, or OPC_E_INVALIDHANDLE for a handle not in the
// group, is the handle's error. S_FALSE when any handle failed.
template <typename Apply>
HRESULT COpcGroup::ForEachHandle(DWORD count, OPCHANDLE *handles, const void *values,
                                 HRESULT **errors, Apply apply)
{
    if (count == 0 || handles == nullptr || values == nullptr || errors == nullptr)
        return E_INVALIDARG;
    *errors = nullptr;
    HRESULT *errorArray = TaskAllocArray<HRESULT>(count);
    if (errorArray == nullptr)
        return E_OUTOFMEMORY;
    CAutoLock guard(m_lock);
    for (DWORD i = 0; i < count; ++i) {
        auto found = m_items.find(handles[i]);
        if (found == m_items.end()) {
            errorArray[i] = OPC_E_INVALIDHANDLE;
            continue;
        }
        errorArray[i] = apply(found->second, i);
    }
    *errors = errorArray;
    return PartialResult(errorArray, count);
}

template <typename T, typename Apply>
HRESULT COpcGroup::ForEachHandleInto(DWORD count, OPCHANDLE *handles, T **out, HRESULT **errors,
                                     Apply apply)
{
    if (out == nullptr)
        return E_INVALIDARG;
    *out = nullptr;
    T *array = TaskAllocArray<T>(count);
    if (array == nullptr)
        return E_OUTOFMEMORY;
    HRESULT hr = ForEachHandle(count, handles, handles, errors,
                               [&apply, array](GroupItem &item, DWORD i) { return apply(item, i, array); });
    if (FAILED(hr)) {
        CoTaskMemFree(array);
        return hr;
    }
    *out = array;
    return hr;
}
