// enum_item_attributes.cpp - item attributes enumerator of a group.
#include "enum_item_attributes.h"

#include "com_memory.h"

#include <new>

CEnumItemAttributes::CEnumItemAttributes(std::vector<ItemAttributes> items)
    : m_refs(0), m_items(std::move(items)), m_cursor(0)
{
}

STDMETHODIMP CEnumItemAttributes::QueryInterface(REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumOPCItemAttributes)) {
        *ppv = static_cast<IEnumOPCItemAttributes *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumItemAttributes::AddRef()
{
    return static_cast<ULONG>(++m_refs);
}

STDMETHODIMP_(ULONG) CEnumItemAttributes::Release()
{
    const LONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP CEnumItemAttributes::Next(ULONG celt, OPCITEMATTRIBUTES **ppItemArray,
                                       ULONG *pceltFetched)
{
    if (ppItemArray == nullptr || pceltFetched == nullptr)
        return E_INVALIDARG;
    *ppItemArray = nullptr;
    *pceltFetched = 0;
    const size_t left = m_items.size() - m_cursor;
    const ULONG count = static_cast<ULONG>(celt < left ? celt : left);
    if (count == 0)
        return S_FALSE;

    OPCITEMATTRIBUTES *array = TaskAllocArray<OPCITEMATTRIBUTES>(count);
    if (array == nullptr)
        return E_OUTOFMEMORY;
    for (ULONG i = 0; i < count; ++i) {
        const ItemAttributes &item = m_items[m_cursor + i];
        OPCITEMATTRIBUTES &out = array[i];
        out.szAccessPath = TaskStringFromAnsi("");
        out.szItemID = TaskStringFromAnsi(item.itemId.c_str());
        if (out.szAccessPath == nullptr || out.szItemID == nullptr) {
            for (ULONG j = 0; j <= i; ++j) {
                TaskFree(array[j].szAccessPath);
                TaskFree(array[j].szItemID);
            }
            CoTaskMemFree(array);
            return E_OUTOFMEMORY;
        }
        out.bActive = item.active ? TRUE : FALSE;
        out.hClient = item.clientHandle;
        out.hServer = item.serverHandle;
        out.dwAccessRights = item.accessRights;
        out.dwBlobSize = 0;
        out.pBlob = nullptr;
        out.vtRequestedDataType = item.requestedType;
        out.vtCanonicalDataType = item.canonicalType;
        out.dwEUType = OPC_NOENUM;
        VariantInit(&out.vEUInfo);
        if (item.analog) {
            SAFEARRAY *range = SafeArrayCreateVector(VT_R8, 0, 2);
            if (range != nullptr) {
                LONG index = 0;
                double low = item.lowEu, high = item.highEu;
                SafeArrayPutElement(range, &index, &low);
                index = 1;
                SafeArrayPutElement(range, &index, &high);
                out.dwEUType = OPC_ANALOG;
                V_VT(&out.vEUInfo) = VT_ARRAY | VT_R8;
                V_ARRAY(&out.vEUInfo) = range;
            }
        }
    }
    m_cursor += count;
    *ppItemArray = array;
    *pceltFetched = count;
    return count == celt ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumItemAttributes::Skip(ULONG celt)
{
    if (m_cursor + celt > m_items.size()) {
        m_cursor = m_items.size();
        return S_FALSE;
    }
    m_cursor += celt;
    return S_OK;
}

STDMETHODIMP CEnumItemAttributes::Reset()
{
    m_cursor = 0;
    return S_OK;
}

STDMETHODIMP CEnumItemAttributes::Clone(IEnumOPCItemAttributes **ppEnumItemAttributes)
{
    if (ppEnumItemAttributes == nullptr)
        return E_INVALIDARG;
    *ppEnumItemAttributes = nullptr;
    CEnumItemAttributes *copy = new (std::nothrow) CEnumItemAttributes(m_items);
    if (copy == nullptr)
        return E_OUTOFMEMORY;
    copy->m_cursor = m_cursor;
    return copy->QueryInterface(IID_IEnumOPCItemAttributes,
                                reinterpret_cast<void **>(ppEnumItemAttributes));
}
