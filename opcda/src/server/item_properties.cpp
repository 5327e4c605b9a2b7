// item_properties.cpp - property sets and values of the tag table's items.
#include "item_properties.h"

#include "com_memory.h"
#include "opc_constants.h"
#include "opc_errors.h"
#include "opc_interfaces.h"

#include <oleauto.h>

namespace {

const ItemProperty kCommonProperties[] = {
    {OPC_PROPERTY_DATATYPE, L"Item Canonical Data Type", VT_I2},
    {OPC_PROPERTY_VALUE, L"Item Value", VT_VARIANT},
    {OPC_PROPERTY_QUALITY, L"Item Quality", VT_I2},
    {OPC_PROPERTY_TIMESTAMP, L"Item Timestamp", VT_DATE},
    {OPC_PROPERTY_ACCESS_RIGHTS, L"Item Access Rights", VT_I4},
    {OPC_PROPERTY_SCAN_RATE, L"Server Scan Rate", VT_R4},
};
const ItemProperty kEuType = {OPC_PROPERTY_EU_TYPE, L"Item EU Type", VT_I4};
const ItemProperty kTextProperties[] = {
    {OPC_PROPERTY_EU_UNITS, L"EU Units", VT_BSTR},
    {OPC_PROPERTY_DESCRIPTION, L"Item Description", VT_BSTR},
};
const ItemProperty kRangeProperties[] = {
    {OPC_PROPERTY_HIGH_EU, L"High EU", VT_R8},
    {OPC_PROPERTY_LOW_EU, L"Low EU", VT_R8},
};

// A BSTR of an ANSI field of at most length bytes.
BSTR BstrFromField(const char *field, size_t length)
{
    char text[128];
    lstrcpynA(text, field, static_cast<int>(length < sizeof(text) ? length : sizeof(text)));
    const std::wstring wide = AnsiToWide(text);
    return SysAllocString(wide.c_str());
}

// Time stamps are UTC FILETIMEs; as a property they are a DATE.
DATE DateFromFileTime(const FILETIME &time)
{
    SYSTEMTIME system;
    DATE date = 0.0;
    if (FileTimeToSystemTime(&time, &system))
        SystemTimeToVariantTime(&system, &date);
    return date;
}

} // namespace

bool LookupPropertyItem(COpcData &tags, LPCWSTR itemId, PropertyItem *item)
{
    ZeroMemory(&item->info, sizeof(item->info));
    if (!WideToAnsi(itemId, item->info.itemId, sizeof(item->info.itemId)) ||
        item->info.itemId[0] == '\0' || !tags.LookupItem(item->info))
        return false;
    item->analog = tags.GetEuRange(item->info.handle, &item->lowEu, &item->highEu);
    return true;
}

std::vector<ItemProperty> ItemProperties(const PropertyItem &item)
{
    std::vector<ItemProperty> list(std::begin(kCommonProperties), std::end(kCommonProperties));
    if (item.analog)
        list.push_back(kEuType);
    list.insert(list.end(), std::begin(kTextProperties), std::end(kTextProperties));
    if (item.analog)
        list.insert(list.end(), std::begin(kRangeProperties), std::end(kRangeProperties));
    return list;
}

const ItemProperty *FindItemProperty(const PropertyItem &item, DWORD id)
{
    for (const ItemProperty &p : kCommonProperties) {
        if (p.id == id)
            return &p;
    }
    for (const ItemProperty &p : kTextProperties) {
        if (p.id == id)
            return &p;
    }
    if (!item.analog)
        return nullptr;
    if (id == kEuType.id)
        return &kEuType;
    for (const ItemProperty &p : kRangeProperties) {
        if (p.id == id)
            return &p;
    }
    return nullptr;
}

HRESULT ItemPropertyValue(COpcData &tags, const PropertyItem &item, DWORD id, VARIANT *value)
{
    VariantInit(value);
    if (FindItemProperty(item, id) == nullptr)
        return OPC_E_INVALID_PID;
    const ItemInfo &info = item.info;
    switch (id) {
    case OPC_PROPERTY_DATATYPE:
        V_VT(value) = VT_I2;
        V_I2(value) = static_cast<SHORT>(info.canonicalType);
        return S_OK;
    case OPC_PROPERTY_VALUE:
    case OPC_PROPERTY_QUALITY:
    case OPC_PROPERTY_TIMESTAMP: {
        FILETIME timestamp;
        WORD quality = 0;
        VARIANT current;
        if (!tags.ReadValue(info.handle, &timestamp, &quality, &current))
            return OPC_E_UNKNOWNITEMID;
        if (id == OPC_PROPERTY_VALUE) {
            *value = current;
            return S_OK;
        }
        VariantClear(&current);
        if (id == OPC_PROPERTY_QUALITY) {
            V_VT(value) = VT_I2;
            V_I2(value) = static_cast<SHORT>(quality);
        } else {
            V_VT(value) = VT_DATE;
            V_DATE(value) = DateFromFileTime(timestamp);
        }
        return S_OK;
    }
    case OPC_PROPERTY_ACCESS_RIGHTS:
        V_VT(value) = VT_I4;
        V_I4(value) = info.accessRights;
        return S_OK;
    case OPC_PROPERTY_SCAN_RATE:
        V_VT(value) = VT_R4;
        V_R4(value) = static_cast<float>(kFastestUpdateRate);
        return S_OK;
    case OPC_PROPERTY_EU_TYPE:
        V_VT(value) = VT_I4;
        V_I4(value) = OPC_ANALOG;
        return S_OK;
    case OPC_PROPERTY_HIGH_EU:
    case OPC_PROPERTY_LOW_EU:
        V_VT(value) = VT_R8;
        V_R8(value) = id == OPC_PROPERTY_HIGH_EU ? item.highEu : item.lowEu;
        return S_OK;
    default: {
        const bool units = id == OPC_PROPERTY_EU_UNITS;
        BSTR text = units ? BstrFromField(info.units, sizeof(info.units))
                          : BstrFromField(info.description, sizeof(info.description));
        if (text == nullptr)
            return E_OUTOFMEMORY;
        V_VT(value) = VT_BSTR;
        V_BSTR(value) = text;
        return S_OK;
    }
    }
}

void FreeItemProperties(OPCITEMPROPERTIES *properties)
{
    for (DWORD i = 0; properties->pItemProperties != nullptr && i < properties->dwNumProperties; ++i) {
        OPCITEMPROPERTY &p = properties->pItemProperties[i];
        TaskFree(p.szItemID);
        TaskFree(p.szDescription);
        VariantClear(&p.vValue);
    }
    TaskFree(properties->pItemProperties);
    properties->dwNumProperties = 0;
}

bool FillItemProperties(COpcData &tags, const PropertyItem &item, bool all, DWORD count,
                        const DWORD *ids, bool values, OPCITEMPROPERTIES *out)
{
    std::vector<DWORD> wanted;
    try {
        if (all) {
            for (const ItemProperty &p : ItemProperties(item))
                wanted.push_back(p.id);
        } else {
            wanted.assign(ids, ids + count);
        }
    } catch (...) {
        return false;
    }
    out->hrErrorID = S_OK;
    out->dwNumProperties = 0;
    out->pItemProperties = nullptr;
    if (wanted.empty())
        return true;
    out->pItemProperties = TaskAllocArray<OPCITEMPROPERTY>(wanted.size());
    if (out->pItemProperties == nullptr)
        return false;
    out->dwNumProperties = static_cast<DWORD>(wanted.size());
    for (size_t i = 0; i < wanted.size(); ++i) {
        OPCITEMPROPERTY &p = out->pItemProperties[i];
        VariantInit(&p.vValue);
        p.dwPropertyID = wanted[i];
        const ItemProperty *description = FindItemProperty(item, wanted[i]);
        if (description == nullptr) {
            p.hrErrorID = OPC_E_INVALID_PID;
            out->hrErrorID = S_FALSE;
            continue;
        }
        p.vtDataType = description->type;
        p.szDescription = TaskStringCopy(description->description);
        if (p.szDescription == nullptr) {
            FreeItemProperties(out);
            return false;
        }
        p.hrErrorID = values ? ItemPropertyValue(tags, item, wanted[i], &p.vValue) : S_OK;
        if (p.hrErrorID == E_OUTOFMEMORY) {
            FreeItemProperties(out);
            return false;
        }
        if (p.hrErrorID != S_OK)
            out->hrErrorID = S_FALSE;
    }
    return true;
}
