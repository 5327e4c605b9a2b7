// device.cpp - CDevice: its variable records and the submit of its check marks.
#include "device.h"

#include "record_names.h"

CDevice::~CDevice()
{
    for (CVariant *variant : variants)
        delete variant;
}

CVariant *CDevice::AddVariant(const std::string &variantId, const std::string &variableName,
                              const std::string &typeName)
{
    CVariant *variant = new CVariant;
    variant->key = ComposeVariableKey(deviceId, variantId);
    variant->variantId = variantId;
    variant->name = variableName;
    variant->itemId = ComposeItemId(groupName, variableName);
    variant->typeName = typeName;
    variants.push_back(variant);
    return variant;
}

void CDevice::ApplySelection()
{
    bool anySelected = false;
    for (CVariant *variant : variants) {
        variant->selected = variant->checked;
        anySelected = anySelected || variant->selected;
    }
    hasSelected = anySelected;
}
