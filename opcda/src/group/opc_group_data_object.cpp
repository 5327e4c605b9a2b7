// opc_group_data_object.cpp - IDataObject of a group: advises for the OPC
// DA 1.0 data stream formats (with and without time) and the write-complete
// format, each with a connection number counting from 1.
#include "opc_group.h"

#include "library_state.h"

STDMETHODIMP COpcGroup::DAdvise(FORMATETC *pformatetc, DWORD, IAdviseSink *pAdvSink,
                                DWORD *pdwConnection)
{
    if (pformatetc == nullptr || pAdvSink == nullptr || pdwConnection == nullptr)
        return E_INVALIDARG;
    const CSvrData &tags = SvrData();
    const UINT format = pformatetc->cfFormat;
    if (format != tags.FormatData() && format != tags.FormatDataTime() &&
        format != tags.FormatWriteComplete())
        return DV_E_FORMATETC;
    CAutoLock guard(m_lock);
    if (m_advises.size() >= kMaxAdvises)
        return E_FAIL;
    try {
        m_advises.push_back({pAdvSink, m_nextConnection, static_cast<CLIPFORMAT>(format),
                             format != tags.FormatData(), format != tags.FormatWriteComplete()});
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    pAdvSink->AddRef();
    *pdwConnection = m_nextConnection++;
    if (format != tags.FormatWriteComplete())
        ResendActiveItems();
    return S_OK;
}

STDMETHODIMP COpcGroup::DUnadvise(DWORD dwConnection)
{
    IAdviseSink *sink = nullptr;
    {
        CAutoLock guard(m_lock);
        for (auto it = m_advises.begin(); it != m_advises.end(); ++it) {
            if (it->connection == dwConnection) {
                sink = it->sink;
                m_advises.erase(it);
                break;
            }
        }
    }
    if (sink == nullptr)
        return OLE_E_NOCONNECTION;
    sink->Release();
    return S_OK;
}

STDMETHODIMP COpcGroup::GetData(FORMATETC *, STGMEDIUM *)
{
    return E_NOTIMPL;
}

STDMETHODIMP COpcGroup::GetDataHere(FORMATETC *, STGMEDIUM *)
{
    return E_NOTIMPL;
}

STDMETHODIMP COpcGroup::QueryGetData(FORMATETC *)
{
    return E_NOTIMPL;
}

STDMETHODIMP COpcGroup::GetCanonicalFormatEtc(FORMATETC *, FORMATETC *)
{
    return E_NOTIMPL;
}

STDMETHODIMP COpcGroup::SetData(FORMATETC *, STGMEDIUM *, BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP COpcGroup::EnumFormatEtc(DWORD, IEnumFORMATETC **)
{
    return E_NOTIMPL;
}

STDMETHODIMP COpcGroup::EnumDAdvise(IEnumSTATDATA **)
{
    return E_NOTIMPL;
}
