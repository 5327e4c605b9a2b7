// opc_server_properties.cpp - IOPCItemProperties of the server object: the
// six properties every item offers and the values of data type, access
// rights, units and description.
#include "opc_server.h"

#include "com_memory.h"
#include "library_state.h"
#include "opc_constants.h"

namespace {

struct PropertyDescription {
    DWORD id;
    const wchar_t *description;
    VARTYPE type;
};

const PropertyDescription kProperties[] = {
    {OPC_PROPERTY_DATATYPE, L"Item Canonical Data Type", VT_I2},
    {OPC_PROPERTY_EU_UNITS, L"EU Units", VT_BSTR},
    {OPC_PROPERTY_DESCRIPTION, L"Item Description", VT_BSTR},
    {OPC_PROPERTY_ACCESS_RIGHTS, L"Item Access Rights", VT_I4},
    {OPC_PROPERTY_QUALITY, L"Item Quality", VT_I2},
    {OPC_PROPERTY_TIMESTAMP, L"Item Timestamp", VT_DATE},
};
const DWORD kPropertyCount = sizeof(kProperties) / sizeof(kProperties[0]);

// A BSTR of an ANSI field of at most length bytes.
BSTR BstrFromField(const char *field, size_t length)
{
    char text[128];
    lstrcpynA(text, field, static_cast<int>(length < sizeof(text) ? length : sizeof(text)));
    const std::wstring wide = AnsiToWide(text);
    return SysAllocString(wide.c_str());
}

} // namespace

STDMETHODIMP COpcDaServer::QueryAvailableProperties(LPWSTR, DWORD *pdwCount, DWORD **ppPropertyIDs,
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

    DWORD *ids = TaskAllocArray<DWORD>(kPropertyCount);
    LPWSTR *descriptions = TaskAllocArray<LPWSTR>(kPropertyCount);
    VARTYPE *types = TaskAllocArray<VARTYPE>(kPropertyCount);
    bool ok = ids != nullptr && descriptions != nullptr && types != nullptr;
    for (DWORD i = 0; ok && i < kPropertyCount; ++i) {
        ids[i] = kProperties[i].id;
        types[i] = kProperties[i].type;
        descriptions[i] = TaskStringCopy(kProperties[i].description);
        ok = descriptions[i] != nullptr;
    }
    if (!ok) {
        if (descriptions != nullptr) {
            for (DWORD i = 0; i < kPropertyCount; ++i)
                TaskFree(descriptions[i]);
        }
        TaskFree(ids);
        TaskFree(descriptions);
        TaskFree(types);
        return E_OUTOFMEMORY;
    }
    *pdwCount = kPropertyCount;
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

    ItemInfo info;
    ZeroMemory(&info, sizeof(info));
    if (!WideToAnsi(szItemID, info.itemId, sizeof(info.itemId)) || !SvrData().LookupItem(info))
        return E_FAIL;

    VARIANT *values = TaskAllocArray<VARIANT>(dwCount);
    HRESULT *errors = TaskAllocArray<HRESULT>(dwCount);
    if (values == nullptr || errors == nullptr) {
        TaskFree(values);
        TaskFree(errors);
        return E_OUTOFMEMORY;
    }
    for (DWORD i = 0; i < dwCount; ++i) {
        VARIANT &v = values[i];
        VariantInit(&v);
        errors[i] = S_OK;
        switch (pdwPropertyIDs[i]) {
        case OPC_PROPERTY_DATATYPE:
            V_VT(&v) = VT_I2;
            V_I2(&v) = static_cast<SHORT>(info.canonicalType);
            break;
        case OPC_PROPERTY_ACCESS_RIGHTS:
            V_VT(&v) = VT_I4;
            V_I4(&v) = info.accessRights;
            break;
        case OPC_PROPERTY_EU_UNITS:
            V_VT(&v) = VT_BSTR;
            V_BSTR(&v) = BstrFromField(info.units, sizeof(info.units));
            break;
        case OPC_PROPERTY_DESCRIPTION:
            V_VT(&v) = VT_BSTR;
            V_BSTR(&v) = BstrFromField(info.description, sizeof(info.description));
            break;
        default:
            errors[i] = E_FAIL;
            break;
        }
        if (V_VT(&v) == VT_BSTR && V_BSTR(&v) == nullptr) {
            V_VT(&v) = VT_EMPTY;
            errors[i] = E_OUTOFMEMORY;
        }
    }
    *ppvData = values;
    *ppErrors = errors;
    return S_OK;
}

STDMETHODIMP COpcDaServer::LookupItemIDs(LPWSTR, DWORD, DWORD *pdwPropertyIDs,
                                         LPWSTR **ppszNewItemIDs, HRESULT **ppErrors)
{
    if (pdwPropertyIDs == nullptr || ppszNewItemIDs == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    *ppszNewItemIDs = nullptr;
    *ppErrors = nullptr;
    return E_NOTIMPL;
}
