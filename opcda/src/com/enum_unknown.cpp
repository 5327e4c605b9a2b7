// enum_unknown.cpp - object enumerator.
#include "enum_unknown.h"

#include <new>

CEnumUnknown::CEnumUnknown(std::vector<IUnknown *> objects)
    : m_refs(0), m_objects(std::move(objects)), m_cursor(0)
{
}

CEnumUnknown::~CEnumUnknown()
{
    for (IUnknown *object : m_objects)
        object->Release();
}

STDMETHODIMP CEnumUnknown::QueryInterface(REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumUnknown)) {
        *ppv = static_cast<IEnumUnknown *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumUnknown::AddRef()
{
    return static_cast<ULONG>(++m_refs);
}

STDMETHODIMP_(ULONG) CEnumUnknown::Release()
{
    const LONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

// Fewer than celt left: S_FALSE (the marshalling hands out celt entries on
// S_OK).
STDMETHODIMP CEnumUnknown::Next(ULONG celt, IUnknown **rgelt, ULONG *pceltFetched)
{
    if (rgelt == nullptr || (pceltFetched == nullptr && celt != 1))
        return E_INVALIDARG;
    ULONG fetched = 0;
    while (fetched < celt && m_cursor < m_objects.size()) {
        rgelt[fetched] = m_objects[m_cursor++];
        rgelt[fetched++]->AddRef();
    }
    if (pceltFetched != nullptr)
        *pceltFetched = fetched;
    return fetched == celt ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumUnknown::Skip(ULONG celt)
{
    if (m_cursor + celt > m_objects.size()) {
        m_cursor = m_objects.size();
        return S_FALSE;
    }
    m_cursor += celt;
    return S_OK;
}

STDMETHODIMP CEnumUnknown::Reset()
{
    m_cursor = 0;
    return S_OK;
}

STDMETHODIMP CEnumUnknown::Clone(IEnumUnknown **ppenum)
{
    if (ppenum == nullptr)
        return E_INVALIDARG;
    *ppenum = nullptr;
    std::vector<IUnknown *> copy;
    try {
        copy = m_objects;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    for (IUnknown *object : copy)
        object->AddRef();
    CEnumUnknown *clone = new (std::nothrow) CEnumUnknown(copy);
    if (clone == nullptr) {
        for (IUnknown *object : copy)
            object->Release();
        return E_OUTOFMEMORY;
    }
    clone->m_cursor = m_cursor;
    return clone->QueryInterface(IID_IEnumUnknown, reinterpret_cast<void **>(ppenum));
}
