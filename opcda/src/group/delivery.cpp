// delivery.cpp - callbacks to client sinks.
#include "delivery.h"

#include "com_memory.h"
#include "opc_constants.h"

void ReleaseSinks(std::vector<IUnknown *> &sinks)
{
    for (IUnknown *sink : sinks)
        sink->Release();
    sinks.clear();
}

ItemValues::~ItemValues()
{
    if (values != nullptr) {
        for (DWORD i = 0; i < count; ++i)
            VariantClear(&values[i]);
    }
    TaskFree(clientHandles);
    TaskFree(values);
    TaskFree(qualities);
    TaskFree(timestamps);
    TaskFree(errors);
}

bool ItemValues::Allocate(DWORD n)
{
    count = n;
    clientHandles = TaskAllocArray<OPCHANDLE>(n);
    values = TaskAllocArray<VARIANT>(n);
    qualities = TaskAllocArray<WORD>(n);
    timestamps = TaskAllocArray<FILETIME>(n);
    errors = TaskAllocArray<HRESULT>(n);
    if (clientHandles != nullptr && values != nullptr && qualities != nullptr &&
        timestamps != nullptr && errors != nullptr)
        return true;
    count = 0;
    return false;
}

HRESULT ItemValues::MasterQuality() const
{
    for (DWORD i = 0; i < count; ++i) {
        if ((qualities[i] & OPC_QUALITY_MASK) != OPC_QUALITY_GOOD)
            return S_FALSE;
    }
    return S_OK;
}

HRESULT ItemValues::MasterError() const
{
    for (DWORD i = 0; i < count; ++i) {
        if (errors[i] != S_OK)
            return S_FALSE;
    }
    return S_OK;
}

CDataCallbackDelivery::CDataCallbackDelivery(Kind kind, DWORD transactionId,
                                             OPCHANDLE clientGroup, std::vector<IUnknown *> sinks,
                                             std::unique_ptr<ItemValues> items)
    : m_kind(kind), m_transactionId(transactionId), m_clientGroup(clientGroup),
      m_sinks(std::move(sinks)), m_items(std::move(items))
{
}

CDataCallbackDelivery::~CDataCallbackDelivery()
{
    ReleaseSinks(m_sinks);
}

bool CDataCallbackDelivery::CarriesValues() const
{
    return m_items->count != 0 && !m_sinks.empty();
}

// Every sink in Advise order; a sink that is not an IOPCDataCallback misses
// the report.
void CDataCallbackDelivery::Deliver()
{
    ItemValues &v = *m_items;
    const HRESULT masterQuality = v.MasterQuality();
    const HRESULT masterError = v.MasterError();
    for (IUnknown *sink : m_sinks) {
        IOPCDataCallback *callback = nullptr;
        if (FAILED(sink->QueryInterface(IID_IOPCDataCallback, reinterpret_cast<void **>(&callback))) ||
            callback == nullptr)
            continue;
        if (m_kind == kDataChange)
            callback->OnDataChange(m_transactionId, m_clientGroup, masterQuality, masterError,
                                   v.count, v.clientHandles, v.values, v.qualities, v.timestamps,
                                   v.errors);
        else
            callback->OnReadComplete(m_transactionId, m_clientGroup, masterQuality, masterError,
                                     v.count, v.clientHandles, v.values, v.qualities, v.timestamps,
                                     v.errors);
        callback->Release();
    }
}

CWriteCompleteDelivery::CWriteCompleteDelivery(DWORD transactionId, OPCHANDLE clientGroup,
                                               std::vector<IUnknown *> sinks,
                                               std::vector<OPCHANDLE> clientHandles,
                                               std::vector<HRESULT> errors)
    : m_transactionId(transactionId), m_clientGroup(clientGroup), m_sinks(std::move(sinks)),
      m_clientHandles(std::move(clientHandles)), m_errors(std::move(errors))
{
}

CWriteCompleteDelivery::~CWriteCompleteDelivery()
{
    ReleaseSinks(m_sinks);
}

void CWriteCompleteDelivery::Deliver()
{
    HRESULT master = S_OK;
    for (HRESULT e : m_errors) {
        if (e != S_OK)
            master = S_FALSE;
    }
    // Marshalling wants valid pointers even for an empty report.
    OPCHANDLE noHandle = 0;
    HRESULT noError = S_OK;
    const DWORD count = static_cast<DWORD>(m_errors.size());
    for (IUnknown *sink : m_sinks) {
        IOPCDataCallback *callback = nullptr;
        if (FAILED(sink->QueryInterface(IID_IOPCDataCallback, reinterpret_cast<void **>(&callback))) ||
            callback == nullptr)
            continue;
        callback->OnWriteComplete(m_transactionId, m_clientGroup, master, count,
                                  count ? m_clientHandles.data() : &noHandle,
                                  count ? m_errors.data() : &noError);
        callback->Release();
    }
}

CCancelCompleteDelivery::CCancelCompleteDelivery(DWORD transactionId, OPCHANDLE clientGroup,
                                                 std::vector<IUnknown *> sinks)
    : m_transactionId(transactionId), m_clientGroup(clientGroup), m_sinks(std::move(sinks))
{
}

CCancelCompleteDelivery::~CCancelCompleteDelivery()
{
    ReleaseSinks(m_sinks);
}

void CCancelCompleteDelivery::Deliver()
{
    for (IUnknown *sink : m_sinks) {
        IOPCDataCallback *callback = nullptr;
        if (FAILED(sink->QueryInterface(IID_IOPCDataCallback, reinterpret_cast<void **>(&callback))) ||
            callback == nullptr)
            continue;
        callback->OnCancelComplete(m_transactionId, m_clientGroup);
        callback->Release();
    }
}

CStreamDelivery::CStreamDelivery(IAdviseSink *sink, CLIPFORMAT format, HGLOBAL block)
    : m_sink(sink), m_format(format), m_block(block)
{
    m_sink->AddRef();
}

CStreamDelivery::~CStreamDelivery()
{
    m_sink->Release();
    if (m_block != nullptr)
        GlobalFree(m_block);
}

void CStreamDelivery::Deliver()
{
    FORMATETC format = {m_format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium;
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = m_block;
    medium.pUnkForRelease = nullptr;
    m_sink->OnDataChange(&format, &medium);
}
