// opc_group_async_io.cpp - asynchronous reads, writes and refreshes of a
// group: the requests are queued with their own copies of handles and
// values and run by the server's worker. IOPCAsyncIO2 and IOPCAsyncIO3
// report back through the group's IOPCDataCallback sinks (a group without
// one takes no request); the OPC DA 1.0 IOPCAsyncIO reports through the
// IDataObject advise the client names (a data advise for reads and
// refreshes, a write-complete advise for writes), with a transaction ID of
// the server's choosing.
#include "opc_group.h"

#include "com_memory.h"
#include "opc_errors.h"

#include <olectl.h>

bool COpcGroup::HasStreamAdvise(DWORD connection, bool writeComplete) const
{
    for (const AdviseEntry &advise : m_advises) {
        if (advise.connection == connection)
            return advise.dataFormat != writeComplete;
    }
    return false;
}

HRESULT COpcGroup::QueueRequest(AsyncRequest::Kind kind, DWORD count, OPCHANDLE *handles,
                                const DWORD *maxAges, const VARIANT *values,
                                const OPCITEMVQT *records, DWORD transactionId, DWORD *cancelId,
                                HRESULT **errors, DWORD connection)
{
    CAutoLock guard(m_lock);
    if (connection == 0 ? m_dataCallbackPoint.SinkCount() == 0
                        : !HasStreamAdvise(connection, kind == AsyncRequest::kStreamWrite))
        return CONNECT_E_NOCONNECTION;
    if (m_requests.Full())
        return E_FAIL;
    HRESULT *errorArray = TaskAllocArray<HRESULT>(count);
    if (errorArray == nullptr)
        return E_OUTOFMEMORY;

    AsyncRequest request;
    request.kind = kind;
    request.transactionId = transactionId;
    bool someFailed = false;
    try {
        request.handles.reserve(count);
        for (DWORD i = 0; i < count; ++i) {
            if (m_items.find(handles[i]) == m_items.end()) {
                errorArray[i] = OPC_E_INVALIDHANDLE;
                someFailed = true;
                continue;
            }
            request.handles.push_back(handles[i]);
            if (maxAges != nullptr)
                request.maxAges.push_back(maxAges[i]);
            if (values != nullptr) {
                VARIANT copy;
                VariantInit(&copy);
                VariantCopyInd(&copy, const_cast<VARIANT *>(&values[i]));
                request.values.push_back(copy);
            }
            if (records != nullptr) {
                OPCITEMVQT copy = records[i];
                VariantInit(&copy.vDataValue);
                VariantCopyInd(&copy.vDataValue, const_cast<VARIANT *>(&records[i].vDataValue));
                request.records.push_back(copy);
            }
            errorArray[i] = S_OK;
        }
    } catch (...) {
        request.Release();
        CoTaskMemFree(errorArray);
        return E_OUTOFMEMORY;
    }
    request.cancelId = m_nextTransaction++;
    request.connection = connection;
    if (connection != 0)
        request.transactionId = request.cancelId;
    *cancelId = request.cancelId;
    m_requests.Push(request);
    m_link->WakeWorker();
    *errors = errorArray;
    return someFailed ? S_FALSE : S_OK;
}

HRESULT COpcGroup::QueueRefresh(AsyncRequest::Kind kind, DWORD transactionId, DWORD *cancelId,
                                DWORD connection)
{
    if (cancelId == nullptr)
        return E_INVALIDARG;
    CAutoLock guard(m_lock);
    if (connection == 0 ? m_dataCallbackPoint.SinkCount() == 0 : !HasStreamAdvise(connection, false))
        return CONNECT_E_NOCONNECTION;
    // A refresh of an inactive group has nothing to report.
    if (m_requests.Full() || !m_active)
        return E_FAIL;
    AsyncRequest request;
    request.kind = kind;
    request.transactionId = transactionId;
    request.cancelId = m_nextTransaction++;
    request.connection = connection;
    if (connection != 0)
        request.transactionId = request.cancelId;
    *cancelId = request.cancelId;
    m_requests.Push(request);
    m_link->WakeWorker();
    return S_OK;
}

namespace {

bool ClearAsyncOutputs(DWORD count, const void *array, DWORD *cancelId, HRESULT **errors)
{
    if (count == 0 || array == nullptr || cancelId == nullptr || errors == nullptr)
        return false;
    *errors = nullptr;
    *cancelId = 0;
    return true;
}

} // namespace

STDMETHODIMP COpcGroup::Read(DWORD dwCount, OPCHANDLE *phServer, DWORD dwTransactionID,
                             DWORD *pdwCancelID, HRESULT **ppErrors)
{
    if (!ClearAsyncOutputs(dwCount, phServer, pdwCancelID, ppErrors))
        return E_INVALIDARG;
    return QueueRequest(AsyncRequest::kRead, dwCount, phServer, nullptr, nullptr, nullptr,
                        dwTransactionID, pdwCancelID, ppErrors);
}

STDMETHODIMP COpcGroup::Write(DWORD dwCount, OPCHANDLE *phServer, VARIANT *pItemValues,
                              DWORD dwTransactionID, DWORD *pdwCancelID, HRESULT **ppErrors)
{
    if (pItemValues == nullptr || !ClearAsyncOutputs(dwCount, phServer, pdwCancelID, ppErrors))
        return E_INVALIDARG;
    return QueueRequest(AsyncRequest::kWrite, dwCount, phServer, nullptr, pItemValues, nullptr,
                        dwTransactionID, pdwCancelID, ppErrors);
}

STDMETHODIMP COpcGroup::ReadMaxAge(DWORD dwCount, OPCHANDLE *phServer, DWORD *pdwMaxAge,
                                   DWORD dwTransactionID, DWORD *pdwCancelID, HRESULT **ppErrors)
{
    if (pdwMaxAge == nullptr || !ClearAsyncOutputs(dwCount, phServer, pdwCancelID, ppErrors))
        return E_INVALIDARG;
    return QueueRequest(AsyncRequest::kReadMaxAge, dwCount, phServer, pdwMaxAge, nullptr, nullptr,
                        dwTransactionID, pdwCancelID, ppErrors);
}

STDMETHODIMP COpcGroup::WriteVQT(DWORD dwCount, OPCHANDLE *phServer, OPCITEMVQT *pItemVQT,
                                 DWORD dwTransactionID, DWORD *pdwCancelID, HRESULT **ppErrors)
{
    if (pItemVQT == nullptr || !ClearAsyncOutputs(dwCount, phServer, pdwCancelID, ppErrors))
        return E_INVALIDARG;
    return QueueRequest(AsyncRequest::kWriteVQT, dwCount, phServer, nullptr, nullptr, pItemVQT,
                        dwTransactionID, pdwCancelID, ppErrors);
}

STDMETHODIMP COpcGroup::Refresh2(OPCDATASOURCE, DWORD dwTransactionID, DWORD *pdwCancelID)
{
    return QueueRefresh(AsyncRequest::kRefresh, dwTransactionID, pdwCancelID);
}

STDMETHODIMP COpcGroup::RefreshMaxAge(DWORD, DWORD dwTransactionID, DWORD *pdwCancelID)
{
    return QueueRefresh(AsyncRequest::kRefreshMaxAge, dwTransactionID, pdwCancelID);
}

// A request still waiting is marked; the worker then skips it and reports
// OnCancelComplete instead of its result.
STDMETHODIMP COpcGroup::Cancel2(DWORD dwCancelID)
{
    CAutoLock guard(m_lock);
    return m_requests.MarkCancelled(dwCancelID) ? S_OK : E_FAIL;
}

STDMETHODIMP COpcGroup::SetEnable(BOOL bEnable)
{
    CAutoLock guard(m_lock);
    if (bEnable && !m_enable)
        ScanAtOnce();
    m_enable = bEnable;
    return S_OK;
}

STDMETHODIMP COpcGroup::GetEnable(BOOL *pbEnable)
{
    if (pbEnable == nullptr)
        return E_INVALIDARG;
    CAutoLock guard(m_lock);
    *pbEnable = m_enable;
    return S_OK;
}

// OPC DA 1.0: completions go to the named advise; *pTransactionID is the
// server's transaction ID, which the completion stream carries.
STDMETHODIMP COpcGroup::Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount,
                             OPCHANDLE *phServer, DWORD *pTransactionID, HRESULT **ppErrors)
{
    if (!ClearAsyncOutputs(dwCount, phServer, pTransactionID, ppErrors))
        return E_INVALIDARG;
    if (dwSource != OPC_DS_CACHE && dwSource != OPC_DS_DEVICE)
        return E_INVALIDARG;
    return QueueRequest(AsyncRequest::kStreamRead, dwCount, phServer, nullptr, nullptr, nullptr, 0,
                        pTransactionID, ppErrors, dwConnection);
}

STDMETHODIMP COpcGroup::Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE *phServer,
                              VARIANT *pItemValues, DWORD *pTransactionID, HRESULT **ppErrors)
{
    if (pItemValues == nullptr || !ClearAsyncOutputs(dwCount, phServer, pTransactionID, ppErrors))
        return E_INVALIDARG;
    return QueueRequest(AsyncRequest::kStreamWrite, dwCount, phServer, nullptr, pItemValues,
                        nullptr, 0, pTransactionID, ppErrors, dwConnection);
}

STDMETHODIMP COpcGroup::Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD *pTransactionID)
{
    if (dwSource != OPC_DS_CACHE && dwSource != OPC_DS_DEVICE)
        return E_INVALIDARG;
    return QueueRefresh(AsyncRequest::kStreamRefresh, 0, pTransactionID, dwConnection);
}

STDMETHODIMP COpcGroup::Cancel(DWORD dwTransactionID)
{
    return Cancel2(dwTransactionID);
}
