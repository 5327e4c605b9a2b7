// enum_connections.cpp - enumerator of a connection point's connections.
#include "enum_connections.h"

#include <new>

CEnumConnections::CEnumConnections(const std::vector<CONNECTDATA> &connections)
    : m_refs(0), m_connections(connections), m_cursor(0)
{
    for (CONNECTDATA &c : m_connections)
        c.pUnk->AddRef();
}

CEnumConnections::~CEnumConnections()
{
    for (CONNECTDATA &c : m_connections)
        c.pUnk->Release();
}

STDMETHODIMP CEnumConnections::QueryInterface(REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumConnections)) {
        *ppv = static_cast<IEnumConnections *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumConnections::AddRef()
{
    return static_cast<ULONG>(++m_refs);
}

STDMETHODIMP_(ULONG) CEnumConnections::Release()
{
    const LONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP CEnumConnections::Next(ULONG cConnections, CONNECTDATA *rgcd, ULONG *pcFetched)
{
    if (rgcd == nullptr)
        return E_INVALIDARG;
    if (pcFetched == nullptr && cConnections != 1)
        return E_POINTER;
    ULONG fetched = 0;
    while (fetched < cConnections && m_cursor < m_connections.size()) {
        rgcd[fetched] = m_connections[m_cursor++];
        rgcd[fetched].pUnk->AddRef();
        ++fetched;
    }
    if (pcFetched != nullptr)
        *pcFetched = fetched;
    return fetched == cConnections ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumConnections::Skip(ULONG cConnections)
{
    if (m_cursor + cConnections > m_connections.size()) {
        m_cursor = m_connections.size();
        return S_FALSE;
    }
    m_cursor += cConnections;
    return S_OK;
}

STDMETHODIMP CEnumConnections::Reset()
{
    m_cursor = 0;
    return S_OK;
}

STDMETHODIMP CEnumConnections::Clone(IEnumConnections **ppEnum)
{
    if (ppEnum == nullptr)
        return E_INVALIDARG;
    *ppEnum = nullptr;
    CEnumConnections *copy = new (std::nothrow) CEnumConnections(m_connections);
    if (copy == nullptr)
        return E_OUTOFMEMORY;
    copy->m_cursor = m_cursor;
    return copy->QueryInterface(IID_IEnumConnections, reinterpret_cast<void **>(ppEnum));
}
