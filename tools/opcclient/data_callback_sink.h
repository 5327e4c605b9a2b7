// data_callback_sink.h - the client's IOPCDataCallback: prints every data
// change (and read/write completion) as one line per item.
#pragma once

#include "opc_interfaces.h"

#include <atomic>
#include <string>
#include <vector>

class CDataCallbackSink final : public IOPCDataCallback {
public:
    // itemIds[i] belongs to client handle i + 1.
    explicit CDataCallbackSink(std::vector<std::string> itemIds);

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
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

    unsigned long Changes() const { return m_changes.load(); }

private:
    ~CDataCallbackSink() = default;
    void Print(const char *what, DWORD count, OPCHANDLE *handles, VARIANT *values,
               WORD *qualities, FILETIME *times, HRESULT *errors);

    std::atomic<LONG> m_refs;
    std::atomic<unsigned long> m_changes;
    std::vector<std::string> m_itemIds;
};
