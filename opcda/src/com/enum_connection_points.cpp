// enum_connection_points.cpp - one-element connection point enumerator.
#include "enum_connection_points.h"

CIEnumConnectionPoints::CIEnumConnectionPoints(IConnectionPoint *point)
    : m_refs(0), m_point(point), m_cursor(0)
{
    m_point->AddRef();
}

CIEnumConnectionPoints::~CIEnumConnectionPoints()
{
    m_point->Release();
}

STDMETHODIMP CIEnumConnectionPoints::QueryInterface(REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumConnectionPoints)) {
        *ppv = static_cast<IEnumConnectionPoints *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CIEnumConnectionPoints::AddRef()
{
    return static_cast<ULONG>(++m_refs);
}

STDMETHODIMP_(ULONG) CIEnumConnectionPoints::Release()
{
    const LONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP CIEnumConnectionPoints::Next(ULONG cConnections, IConnectionPoint **ppCP,
                                          ULONG *pcFetched)
{
    if (pcFetched != nullptr)
        *pcFetched = 0;
    if (ppCP == nullptr)
        return E_INVALIDARG;
    if (m_cursor == 1 || cConnections == 0)
        return S_FALSE;
    // The caller owns the handed-out reference, as for any enumerator.
    m_point->AddRef();
    *ppCP = m_point;
    if (pcFetched != nullptr)
        *pcFetched = 1;
    m_cursor = 1;
    return cConnections == 1 ? S_OK : S_FALSE; // S_OK only when all asked for came
}

STDMETHODIMP CIEnumConnectionPoints::Skip(ULONG)
{
    m_cursor = 1;
    return S_OK;
}

STDMETHODIMP CIEnumConnectionPoints::Reset()
{
    m_cursor = 0;
    return S_OK;
}

STDMETHODIMP CIEnumConnectionPoints::Clone(IEnumConnectionPoints **ppEnum)
{
    if (ppEnum != nullptr)
        *ppEnum = nullptr;
    return E_FAIL;
}
