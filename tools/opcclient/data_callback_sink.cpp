// data_callback_sink.cpp - printing data callback sink of opccli.
#include "data_callback_sink.h"

#include "value_format.h"

#include <cstdio>

CDataCallbackSink::CDataCallbackSink(std::vector<std::string> itemIds)
    : m_refs(0), m_changes(0), m_itemIds(std::move(itemIds))
{
}

STDMETHODIMP CDataCallbackSink::QueryInterface(REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCDataCallback)) {
        *ppv = static_cast<IOPCDataCallback *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CDataCallbackSink::AddRef()
{
    return static_cast<ULONG>(++m_refs);
}

STDMETHODIMP_(ULONG) CDataCallbackSink::Release()
{
    const LONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

void CDataCallbackSink::Print(const char *what, DWORD count, OPCHANDLE *handles, VARIANT *values,
                              WORD *qualities, FILETIME *times, HRESULT *errors)
{
    for (DWORD i = 0; i < count; ++i) {
        const OPCHANDLE h = handles[i];
        const std::string id = h >= 1 && h <= m_itemIds.size() ? m_itemIds[h - 1] : "?";
        std::printf("%s %s %s %s %s %s\n", what, id.c_str(), FormatValue(values[i]).c_str(),
                    FormatQuality(qualities[i]).c_str(), FormatTime(times[i]).c_str(),
                    FormatResult(errors[i]).c_str());
    }
    std::fflush(stdout);
}

STDMETHODIMP CDataCallbackSink::OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD dwCount,
                                             OPCHANDLE *phClientItems, VARIANT *pvValues,
                                             WORD *pwQualities, FILETIME *pftTimeStamps,
                                             HRESULT *pErrors)
{
    Print("change", dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps, pErrors);
    m_changes += dwCount;
    return S_OK;
}

STDMETHODIMP CDataCallbackSink::OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD dwCount,
                                               OPCHANDLE *phClientItems, VARIANT *pvValues,
                                               WORD *pwQualities, FILETIME *pftTimeStamps,
                                               HRESULT *pErrors)
{
    Print("read", dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps, pErrors);
    return S_OK;
}

STDMETHODIMP CDataCallbackSink::OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD dwCount,
                                                OPCHANDLE *pClienthandles, HRESULT *pErrors)
{
    for (DWORD i = 0; i < dwCount; ++i)
        std::printf("written %lu %s\n", static_cast<unsigned long>(pClienthandles[i]),
                    FormatResult(pErrors[i]).c_str());
    std::fflush(stdout);
    return S_OK;
}

STDMETHODIMP CDataCallbackSink::OnCancelComplete(DWORD, OPCHANDLE)
{
    return S_OK;
}
