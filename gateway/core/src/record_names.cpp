// record_names.cpp - variable key and item ID of a variable.
#include "record_names.h"

std::string ComposeVariableKey(const std::string &deviceId, const std::string &variantId)
{
    return deviceId + ":" + variantId;
}

std::string ComposeItemId(const std::string &groupName, const std::string &name)
{
    if (groupName.empty())
        return name;
    return groupName + "." + name;
}
