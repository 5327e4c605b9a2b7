// data_callback_recorder.cpp - recording IOPCDataCallback sink.
#include "data_callback_recorder.h"

#include "value_format.h"

#include <atomic>
#include <chrono>

namespace iotest {

namespace {
std::atomic<unsigned> g_sequence(0);
}

const ItemReport *CallbackRecord::Find(OPCHANDLE clientHandle) const
{
    for (const ItemReport &item : items) {
        if (item.clientHandle == clientHandle)
            return &item;
    }
    return nullptr;
}

DataCallbackRecorder::DataCallbackRecorder() : m_refs(1)
{
}

ComPtr<DataCallbackRecorder> DataCallbackRecorder::Create()
{
    return ComPtr<DataCallbackRecorder>::Attach(new DataCallbackRecorder());
}

STDMETHODIMP DataCallbackRecorder::QueryInterface(REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCDataCallback)) {
        *ppv = static_cast<IOPCDataCallback *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) DataCallbackRecorder::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

STDMETHODIMP_(ULONG) DataCallbackRecorder::Release()
{
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

CallbackRecord DataCallbackRecorder::Items(CallbackKind kind, DWORD transactionId,
                                           OPCHANDLE group, HRESULT masterQuality,
                                           HRESULT masterError, DWORD count,
                                           const OPCHANDLE *handles, const VARIANT *values,
                                           const WORD *qualities, const FILETIME *times,
                                           const HRESULT *errors)
{
    CallbackRecord record;
    record.kind = kind;
    record.transactionId = transactionId;
    record.clientGroup = group;
    record.masterQuality = masterQuality;
    record.masterError = masterError;
    record.count = count;
    for (DWORD i = 0; i < count; ++i) {
        ItemReport item;
        item.clientHandle = handles[i];
        if (values != nullptr) {
            item.type = V_VT(&values[i]);
            item.value = FormatValue(values[i]);
        }
        if (qualities != nullptr)
            item.quality = qualities[i];
        if (times != nullptr)
            item.timestamp = times[i];
        item.error = errors[i];
        record.items.push_back(item);
    }
    return record;
}

void DataCallbackRecorder::Record(CallbackRecord record)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    record.sequence = ++g_sequence;
    m_records.push_back(std::move(record));
    m_changed.notify_all();
}

STDMETHODIMP DataCallbackRecorder::OnDataChange(DWORD dwTransid, OPCHANDLE hGroup,
                                                HRESULT hrMasterquality, HRESULT hrMastererror,
                                                DWORD dwCount, OPCHANDLE *phClientItems,
                                                VARIANT *pvValues, WORD *pwQualities,
                                                FILETIME *pftTimeStamps, HRESULT *pErrors)
{
    Record(Items(CallbackKind::kDataChange, dwTransid, hGroup, hrMasterquality, hrMastererror,
                 dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps, pErrors));
    return S_OK;
}

STDMETHODIMP DataCallbackRecorder::OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup,
                                                  HRESULT hrMasterquality, HRESULT hrMastererror,
                                                  DWORD dwCount, OPCHANDLE *phClientItems,
                                                  VARIANT *pvValues, WORD *pwQualities,
                                                  FILETIME *pftTimeStamps, HRESULT *pErrors)
{
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        hook = m_readCompleteHook;
    }
    if (hook)
        hook();
    Record(Items(CallbackKind::kReadComplete, dwTransid, hGroup, hrMasterquality, hrMastererror,
                 dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps, pErrors));
    return S_OK;
}

STDMETHODIMP DataCallbackRecorder::OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup,
                                                   HRESULT hrMastererr, DWORD dwCount,
                                                   OPCHANDLE *pClienthandles, HRESULT *pErrors)
{
    Record(Items(CallbackKind::kWriteComplete, dwTransid, hGroup, S_OK, hrMastererr, dwCount,
                 pClienthandles, nullptr, nullptr, nullptr, pErrors));
    return S_OK;
}

STDMETHODIMP DataCallbackRecorder::OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup)
{
    Record(Items(CallbackKind::kCancelComplete, dwTransid, hGroup, S_OK, S_OK, 0, nullptr,
                 nullptr, nullptr, nullptr, nullptr));
    return S_OK;
}

std::vector<CallbackRecord> DataCallbackRecorder::Records() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records;
}

std::vector<CallbackRecord> DataCallbackRecorder::Records(CallbackKind kind) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<CallbackRecord> selected;
    for (const CallbackRecord &record : m_records) {
        if (record.kind == kind)
            selected.push_back(record);
    }
    return selected;
}

size_t DataCallbackRecorder::Count(CallbackKind kind) const
{
    return Records(kind).size();
}

size_t DataCallbackRecorder::Count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records.size();
}

bool DataCallbackRecorder::WaitForCount(CallbackKind kind, size_t count, DWORD timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        size_t n = 0;
        for (const CallbackRecord &record : m_records) {
            if (record.kind == kind)
                ++n;
        }
        return n >= count;
    });
}

bool DataCallbackRecorder::WaitForValue(OPCHANDLE clientHandle, const std::string &value,
                                        DWORD timeoutMs, CallbackRecord *found) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const CallbackRecord &record : m_records) {
            if (record.kind != CallbackKind::kDataChange)
                continue;
            const ItemReport *item = record.Find(clientHandle);
            if (item != nullptr && item->value == value) {
                if (found != nullptr)
                    *found = record;
                return true;
            }
        }
        return false;
    });
}

void DataCallbackRecorder::SetReadCompleteHook(std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_readCompleteHook = std::move(hook);
}

HRESULT AdviseDataCallback(IUnknown *group, IUnknown *sink, DWORD *cookie)
{
    HRESULT hr = S_OK;
    ComPtr<IConnectionPointContainer> container =
        Query<IConnectionPointContainer>(group, IID_IConnectionPointContainer, &hr);
    if (FAILED(hr))
        return hr;
    ComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(IID_IOPCDataCallback, point.Out());
    if (FAILED(hr))
        return hr;
    return point->Advise(sink, cookie);
}

HRESULT UnadviseDataCallback(IUnknown *group, DWORD cookie)
{
    HRESULT hr = S_OK;
    ComPtr<IConnectionPointContainer> container =
        Query<IConnectionPointContainer>(group, IID_IConnectionPointContainer, &hr);
    if (FAILED(hr))
        return hr;
    ComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(IID_IOPCDataCallback, point.Out());
    if (FAILED(hr))
        return hr;
    return point->Unadvise(cookie);
}

} // namespace iotest
