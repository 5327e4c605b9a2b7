// opc_server_properties.cpp - IOPCItemProperties of the server object: the
// properties an item offers (item_properties.h) and their values. No
// property has an item ID of its own.
#include "opc_server.h"

#include "com_memory.h"
#include "item_properties.h"
#include "library_state.h"
#include "opc_errors.h"
#include "tag_batch_io.h"

STDMETHODIMP COpcDaServer::QueryAvailableProperties(LPWSTR szItemID, DWORD *pdwCount,
                                                    DWORD **ppPropertyIDs,
                                                    LPWSTR **ppDescriptions,
                                                    VARTYPE **ppvtDataTypes)
{
    if (pdwCount == nullptr || ppPropertyIDs == nullptr || ppDescriptions == nullptr ||
        ppvtDataTypes == nullptr)
        return E_INVALIDARG;
    *pdwCount = 0;
    *ppPropertyIDs = nullptr;
    *ppDescriptions = nullptr;
    *ppvtDataTypes = nullptr;
    PropertyItem item;
    if (!LookupPropertyItem(SvrData(), szItemID, &item))
        return OPC_E_UNKNOWNITEMID;

    std::vector<ItemProperty> properties;
    try {
        properties = ItemProperties(item);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    const DWORD count = static_cast<DWORD>(properties.size());
    DWORD *ids = TaskAllocArray<DWORD>(count);
    LPWSTR *descriptions = TaskAllocArray<LPWSTR>(count);
    VARTYPE *types = TaskAllocArray<VARTYPE>(count);
    bool ok = ids != nullptr && descriptions != nullptr && types != nullptr;
    for (DWORD i = 0; ok && i < count; ++i) {
        ids[i] = properties[i].id;
        types[i] = properties[i].type;
        descriptions[i] = TaskStringCopy(properties[i].description);
        ok = descriptions[i] != nullptr;
    }
    if (!ok) {
        if (descriptions != nullptr) {
            for (DWORD i = 0; i < count; ++i)
                TaskFree(descriptions[i]);
        }
        TaskFree(ids);
        TaskFree(descriptions);
        TaskFree(types);
        return E_OUTOFMEMORY;
    }
    *pdwCount = count;
    *ppPropertyIDs = ids;
    *ppDescriptions = descriptions;
    *ppvtDataTypes = types;
    return S_OK;
}

STDMETHODIMP COpcDaServer::GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD *pdwPropertyIDs,
                                             VARIANT **ppvData, HRESULT **ppErrors)
{
    if (pdwPropertyIDs == nullptr || ppvData == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    *ppvData = nullptr;
    *ppErrors = nullptr;
    PropertyItem item;
    if (!LookupPropertyItem(SvrData(), szItemID, &item))
        return OPC_E_UNKNOWNITEMID;

    VARIANT *values = TaskAllocArray<VARIANT>(dwCount);
    HRESULT *errors = TaskAllocArray<HRESULT>(dwCount);
    if (values == nullptr || errors == nullptr) {
        TaskFree(values);
        TaskFree(errors);
        return E_OUTOFMEMORY;
    }
    for (DWORD i = 0; i < dwCount; ++i)
        errors[i] = ItemPropertyValue(SvrData(), item, pdwPropertyIDs[i], &values[i]);
    *ppvData = values;
    *ppErrors = errors;
    return PartialResult(errors, dwCount);
}

// The properties are not items of their own: every known property answers
// OPC_E_INVALID_PID with no item ID, as does every unknown one.
STDMETHODIMP COpcDaServer::LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD *pdwPropertyIDs,
                                         LPWSTR **ppszNewItemIDs, HRESULT **ppErrors)
{
    if (pdwPropertyIDs == nullptr || ppszNewItemIDs == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    *ppszNewItemIDs = nullptr;
    *ppErrors = nullptr;
    PropertyItem item;
    if (!LookupPropertyItem(SvrData(), szItemID, &item))
        return OPC_E_UNKNOWNITEMID;
    LPWSTR *ids = TaskAllocArray<LPWSTR>(dwCount);
    HRESULT *errors = TaskAllocArray<HRESULT>(dwCount);
    if (ids == nullptr || errors == nullptr) {
        TaskFree(ids);
        TaskFree(errors);
        return E_OUTOFMEMORY;
    }
    for (DWORD i = 0; i < dwCount; ++i)
        errors[i] = OPC_E_INVALID_PID;
    *ppszNewItemIDs = ids;
    *ppErrors = errors;
    return PartialResult(errors, dwCount);
}
