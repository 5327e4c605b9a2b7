// enum_item_string.cpp - browse name enumerator.
#include "enum_item_string.h"

#include "com_memory.h"

CEnumItemString::CEnumItemString(const std::vector<std::string> &names) : m_refs(0), m_cursor(0)
{
    m_names.reserve(names.size());
    for (const std::string &name : names)
        m_names.push_back(AnsiToWide(name.c_str()));
}

CEnumItemString::CEnumItemString(std::vector<std::wstring> names)
    : m_refs(0), m_names(std::move(names)), m_cursor(0)
{
}

STDMETHODIMP CEnumItemString::QueryInterface(REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumString)) {
        *ppv = static_cast<IEnumString *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumItemString::AddRef()
{
    return static_cast<ULONG>(++m_refs);
}

STDMETHODIMP_(ULONG) CEnumItemString::Release()
{
    const LONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP CEnumItemString::Next(ULONG celt, LPOLESTR *rgelt, ULONG *pceltFetched)
{
    if (rgelt == nullptr)
        return E_INVALIDARG;
    if (pceltFetched == nullptr && celt != 1)
        return E_POINTER;
    if (pceltFetched != nullptr)
        *pceltFetched = 0;
    if (celt > 0)
        rgelt[0] = nullptr;
    if (m_cursor >= m_names.size())
        return S_FALSE;

    ULONG fetched = 0;
    while (fetched < celt && m_cursor < m_names.size()) {
        LPWSTR name = TaskStringCopy(m_names[m_cursor].c_str());
        if (name == nullptr) {
            for (ULONG i = 0; i < fetched; ++i)
                TaskFree(rgelt[i]);
            if (pceltFetched != nullptr)
                *pceltFetched = 0;
            return E_OUTOFMEMORY;
        }
        rgelt[fetched++] = name;
        ++m_cursor;
    }
    if (pceltFetched != nullptr)
        *pceltFetched = fetched;
    // S_OK promises all celt names: the marshalling of IEnumString hands the
    // client celt entries on S_OK, so fewer must be S_FALSE.
    return fetched == celt ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumItemString::Skip(ULONG celt)
{
    if (m_cursor + celt < m_names.size()) {
        m_cursor += celt;
        return S_OK;
    }
    return S_FALSE;
}

STDMETHODIMP CEnumItemString::Reset()
{
    m_cursor = 0;
    return S_OK;
}

STDMETHODIMP CEnumItemString::Clone(IEnumString **ppenum)
{
    if (ppenum != nullptr)
        *ppenum = nullptr;
    return E_NOTIMPL;
}
