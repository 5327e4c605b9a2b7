// opc_group_items.cpp - IOPCItemMgt of a group: adding, validating and
// removing items, their active state, client handles and requested types,
// and the item attributes enumerator.
#include "opc_group.h"

#include "com_memory.h"
#include "enum_item_attributes.h"
#include "opc_data.h"
#include "opc_errors.h"
#include "tag_batch_io.h"
#include "value_coercion.h"

#include <new>

namespace {

// Looks an OPCITEMDEF's item ID up in the tag table. An ID that is null or
// whose ANSI form does not fit the tag table's 79 characters is unknown.
bool LookupItemId(COpcData &tags, LPCWSTR itemId, ItemInfo &info)
{
    ZeroMemory(&info, sizeof(info));
    if (!WideToAnsi(itemId, info.itemId, sizeof(info.itemId)) || info.itemId[0] == '\0')
        return false;
    return tags.LookupItem(info);
}

void FillResult(OPCITEMRESULT &result, const ItemInfo &info, OPCHANDLE serverHandle)
{
    result.hServer = serverHandle;
    result.vtCanonicalDataType = info.canonicalType;
    result.wReserved = 0;
    result.dwAccessRights = info.accessRights;
    result.dwBlobSize = 0;
    result.pBlob = nullptr;
}

} // namespace

HRESULT COpcGroup::ResolveItems(DWORD count, OPCITEMDEF *items, bool add,
                                OPCITEMRESULT **results, HRESULT **errors)
{
    if (count == 0 || items == nullptr || results == nullptr || errors == nullptr)
        return E_INVALIDARG;
    *results = nullptr;
    *errors = nullptr;
    OPCITEMRESULT *resultArray = TaskAllocArray<OPCITEMRESULT>(count);
    HRESULT *errorArray = TaskAllocArray<HRESULT>(count);
    if (resultArray == nullptr || errorArray == nullptr) {
        TaskFree(resultArray);
        TaskFree(errorArray);
        return E_OUTOFMEMORY;
    }

    CAutoLock guard(m_lock);
    for (DWORD i = 0; i < count; ++i) {
        ItemInfo info;
        if (!LookupItemId(m_tags, items[i].szItemID, info)) {
            errorArray[i] = OPC_E_UNKNOWNITEMID;
            continue;
        }
        if (!CanDeliverAs(info.canonicalType, items[i].vtRequestedDataType)) {
            errorArray[i] = OPC_E_BADTYPE;
            continue;
        }
        errorArray[i] = S_OK;
        if (!add) {
            FillResult(resultArray[i], info, 0);
            continue;
        }
        FillResult(resultArray[i], info, info.handle);
        const WORD active = static_cast<WORD>(items[i].bActive & 0xFFFF);
        auto found = m_items.find(info.handle);
        if (found != m_items.end()) {
            // The tag is already in the group: it takes the new client
            // handle and requested type.
            found->second.clientHandle = items[i].hClient;
            found->second.requestedType = items[i].vtRequestedDataType;
            continue;
        }
        GroupItem item;
        item.serverHandle = info.handle;
        item.clientHandle = items[i].hClient;
        item.requestedType = items[i].vtRequestedDataType;
        item.active = active;
        // A new active item's current value goes out with the next update.
        item.resend = active != 0;
        m_resendPending = m_resendPending || item.resend;
        try {
            m_items.emplace(info.handle, item);
        } catch (...) {
            ZeroMemory(&resultArray[i], sizeof(resultArray[i]));
            errorArray[i] = E_OUTOFMEMORY;
            continue;
        }
        m_tags.AddItemRef(info.handle, m_updateRate);
    }
    *results = resultArray;
    *errors = errorArray;
    return PartialResult(errorArray, count);
}

STDMETHODIMP COpcGroup::AddItems(DWORD dwCount, OPCITEMDEF *pItemArray,
                                 OPCITEMRESULT **ppAddResults, HRESULT **ppErrors)
{
    return ResolveItems(dwCount, pItemArray, true, ppAddResults, ppErrors);
}

STDMETHODIMP COpcGroup::ValidateItems(DWORD dwCount, OPCITEMDEF *pItemArray, BOOL,
                                      OPCITEMRESULT **ppValidationResults, HRESULT **ppErrors)
{
    return ResolveItems(dwCount, pItemArray, false, ppValidationResults, ppErrors);
}

STDMETHODIMP COpcGroup::RemoveItems(DWORD dwCount, OPCHANDLE *phServer, HRESULT **ppErrors)
{
    if (phServer == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    *ppErrors = nullptr;
    HRESULT *errorArray = TaskAllocArray<HRESULT>(dwCount);
    if (errorArray == nullptr)
        return E_OUTOFMEMORY;
    CAutoLock guard(m_lock);
    for (DWORD i = 0; i < dwCount; ++i) {
        if (m_items.erase(phServer[i]) == 0) {
            errorArray[i] = OPC_E_INVALIDHANDLE;
            continue;
        }
        m_tags.ReleaseItemRef(phServer[i]);
        errorArray[i] = S_OK;
    }
    *ppErrors = errorArray;
    return PartialResult(errorArray, dwCount);
}

STDMETHODIMP COpcGroup::SetActiveState(DWORD dwCount, OPCHANDLE *phServer, BOOL bActive,
                                       HRESULT **ppErrors)
{
    return ForEachHandle(dwCount, phServer, phServer, ppErrors, [this, bActive](GroupItem &item, DWORD) {
        const WORD active = static_cast<WORD>(bActive & 0xFFFF);
        // An item that becomes active sends its current value at the next
        // update, changed or not.
        if (active != 0 && item.active == 0) {
            item.resend = true;
            m_resendPending = true;
        }
        item.active = active;
        return S_OK;
    });
}

STDMETHODIMP COpcGroup::SetClientHandles(DWORD dwCount, OPCHANDLE *phServer, OPCHANDLE *phClient,
                                         HRESULT **ppErrors)
{
    return ForEachHandle(dwCount, phServer, phClient, ppErrors,
                         [phClient](GroupItem &item, DWORD i) {
                             item.clientHandle = phClient[i];
                             return S_OK;
                         });
}

STDMETHODIMP COpcGroup::SetDatatypes(DWORD dwCount, OPCHANDLE *phServer,
                                     VARTYPE *pRequestedDatatypes, HRESULT **ppErrors)
{
    return ForEachHandle(dwCount, phServer, pRequestedDatatypes, ppErrors,
                         [this, pRequestedDatatypes](GroupItem &item, DWORD i) {
                             ItemInfo info;
                             if (!m_tags.LookupHandle(item.serverHandle, info))
                                 return OPC_E_INVALIDHANDLE;
                             if (!CanDeliverAs(info.canonicalType, pRequestedDatatypes[i]))
                                 return OPC_E_BADTYPE;
                             item.requestedType = pRequestedDatatypes[i];
                             return S_OK;
                         });
}

// The group's items as OPCITEMATTRIBUTES, a snapshot taken now. S_FALSE and
// no enumerator when the group has no items.
STDMETHODIMP COpcGroup::CreateEnumerator(REFIID riid, LPUNKNOWN *ppUnk)
{
    if (ppUnk == nullptr)
        return E_INVALIDARG;
    *ppUnk = nullptr;
    if (!IsEqualIID(riid, IID_IEnumOPCItemAttributes) && !IsEqualIID(riid, IID_IUnknown))
        return E_NOINTERFACE;

    std::vector<ItemAttributes> attributes;
    {
        CAutoLock guard(m_lock);
        try {
            attributes.reserve(m_items.size());
            for (const auto &entry : m_items) {
                const GroupItem &item = entry.second;
                ItemInfo info;
                if (!m_tags.LookupHandle(item.serverHandle, info))
                    continue;
                double low = 0.0, high = 0.0;
                const bool analog = m_tags.GetEuRange(item.serverHandle, &low, &high);
                attributes.push_back({info.itemId, item.active != 0, item.clientHandle,
                                      item.serverHandle, info.accessRights, item.requestedType,
                                      info.canonicalType, analog, low, high});
            }
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    if (attributes.empty())
        return S_FALSE;
    CEnumItemAttributes *enumerator = new (std::nothrow) CEnumItemAttributes(std::move(attributes));
    if (enumerator == nullptr)
        return E_OUTOFMEMORY;
    return enumerator->QueryInterface(riid, reinterpret_cast<void **>(ppUnk));
}

HRESULT COpcGroup::CopyItemsFrom(COpcGroup &source)
{
    std::vector<GroupItem> items;
    try {
        CAutoLock guard(source.m_lock);
        items.reserve(source.m_items.size());
        for (const auto &entry : source.m_items)
            items.push_back(entry.second);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    CAutoLock guard(m_lock);
    for (const GroupItem &from : items) {
        GroupItem item;
        item.serverHandle = from.serverHandle;
        item.clientHandle = from.clientHandle;
        item.requestedType = from.requestedType;
        item.active = from.active;
        item.resend = from.active != 0;
        m_resendPending = m_resendPending || item.resend;
        item.hasDeadband = from.hasDeadband;
        item.deadband = from.deadband;
        item.samplingRate = from.samplingRate;
        try {
            m_items.emplace(item.serverHandle, item);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        m_tags.AddItemRef(item.serverHandle, m_updateRate);
    }
    return S_OK;
}
