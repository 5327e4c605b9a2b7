// data_callback_recorder.h - an IOPCDataCallback sink for tests. It records
// every callback it receives (kind, transaction ID, group, master codes and
// each item's client handle, value, quality, time stamp and error) under a
// mutex, since the server's calls arrive on threads of its own, and lets a
// test wait for records. A sequence number shared by all recorders shows in
// which order several sinks were called.
#pragma once

#include "com_ptr.h"
#include "opc_interfaces.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace iotest {

enum class CallbackKind { kDataChange, kReadComplete, kWriteComplete, kCancelComplete };

struct ItemReport {
    OPCHANDLE clientHandle = 0;
    VARTYPE type = VT_EMPTY;
    std::string value; // as opccli prints it
    WORD quality = 0;
    FILETIME timestamp = {0, 0};
    HRESULT error = S_OK;
};

struct CallbackRecord {
    CallbackKind kind = CallbackKind::kDataChange;
    DWORD transactionId = 0;
    OPCHANDLE clientGroup = 0;
    HRESULT masterQuality = S_OK;
    HRESULT masterError = S_OK;
    DWORD count = 0; // dwCount as the server passed it
    std::vector<ItemReport> items;
    unsigned sequence = 0; // order among the calls to every recorder

    // The report of the item with this client handle; null when absent.
    const ItemReport *Find(OPCHANDLE clientHandle) const;
};

class DataCallbackRecorder final : public IOPCDataCallback {
public:
    static ComPtr<DataCallbackRecorder> Create();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IOPCDataCallback
    STDMETHODIMP OnDataChange(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality,
                              HRESULT hrMastererror, DWORD dwCount, OPCHANDLE *phClientItems,
                              VARIANT *pvValues, WORD *pwQualities, FILETIME *pftTimeStamps,
                              HRESULT *pErrors) override;
    STDMETHODIMP OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality,
                                HRESULT hrMastererror, DWORD dwCount, OPCHANDLE *phClientItems,
                                VARIANT *pvValues, WORD *pwQualities, FILETIME *pftTimeStamps,
                                HRESULT *pErrors) override;
    STDMETHODIMP OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMastererr,
                                 DWORD dwCount, OPCHANDLE *pClienthandles,
                                 HRESULT *pErrors) override;
    STDMETHODIMP OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) override;

    std::vector<CallbackRecord> Records() const;
    std::vector<CallbackRecord> Records(CallbackKind kind) const;
    size_t Count(CallbackKind kind) const;
    size_t Count() const;
    // Waits until at least count callbacks of this kind were recorded.
    bool WaitForCount(CallbackKind kind, size_t count, DWORD timeoutMs) const;
    // Waits until a data change reports this client handle with this value
    // text; the matching record is copied to found.
    bool WaitForValue(OPCHANDLE clientHandle, const std::string &value, DWORD timeoutMs,
                      CallbackRecord *found = nullptr) const;
    // Called at the start of every OnReadComplete, before it is recorded,
    // on the caller's thread.
    void SetReadCompleteHook(std::function<void()> hook);

private:
    DataCallbackRecorder();
    ~DataCallbackRecorder() = default;

    void Record(CallbackRecord record);
    static CallbackRecord Items(CallbackKind kind, DWORD transactionId, OPCHANDLE group,
                                HRESULT masterQuality, HRESULT masterError, DWORD count,
                                const OPCHANDLE *handles, const VARIANT *values,
                                const WORD *qualities, const FILETIME *times,
                                const HRESULT *errors);

    LONG m_refs;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<CallbackRecord> m_records;
    std::function<void()> m_readCompleteHook;
};

// Advises the sink on the group's IOPCDataCallback connection point.
HRESULT AdviseDataCallback(IUnknown *group, IUnknown *sink, DWORD *cookie);
HRESULT UnadviseDataCallback(IUnknown *group, DWORD cookie);

} // namespace iotest
