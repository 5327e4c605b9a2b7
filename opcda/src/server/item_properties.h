// item_properties.h - the properties an item offers and their values, as
// both IOPCItemProperties and IOPCBrowse serve them: the OPC-specific set
// 1 to 6 for every item, the EU type and range (7, 102, 103) for analog
// items, and the units and description (100, 101).
#pragma once

#include "opc_data.h"
#include "opc_interfaces.h"

#include <vector>

struct ItemProperty {
    DWORD id;
    const wchar_t *description;
    VARTYPE type;
};

// The fastest update rate of a group, which property 6 reports (ms).
const DWORD kFastestUpdateRate = 200;

// An item of the tag table with what its properties need.
struct PropertyItem {
    ItemInfo info;
    bool analog = false;
    double lowEu = 0.0;
    double highEu = 0.0;
};

// Looks an item ID up; false for an ID that is null, does not convert or
// is not in the tag table.
bool LookupPropertyItem(COpcData &tags, LPCWSTR itemId, PropertyItem *item);

// The properties of the item, in the order clients are shown them.
std::vector<ItemProperty> ItemProperties(const PropertyItem &item);
// The description of one property of the item; null when it does not
// offer it.
const ItemProperty *FindItemProperty(const PropertyItem &item, DWORD id);
// The value of one property: S_OK, OPC_E_INVALID_PID for a property the
// item does not offer, E_OUTOFMEMORY. *value is initialised by the call.
HRESULT ItemPropertyValue(COpcData &tags, const PropertyItem &item, DWORD id, VARIANT *value);

// IOPCBrowse's view of an item's properties: every property (all), or the
// ones asked for, each with its description and, when values is set, its
// value; a property the item does not offer gets OPC_E_INVALID_PID. The
// record's hrErrorID is S_FALSE when some property failed. Task memory;
// false when it is exhausted (the record is then left empty).
bool FillItemProperties(COpcData &tags, const PropertyItem &item, bool all, DWORD count,
                        const DWORD *ids, bool values, OPCITEMPROPERTIES *out);
// Frees what FillItemProperties allocated and empties the record.
void FreeItemProperties(OPCITEMPROPERTIES *properties);
