// record_names.h - how the data model forms the variable key and the OPC
// item ID of a variable.
#pragma once

#include <string>

// Device id ":" variable id: the key of the value index and of platform writes.
std::string ComposeVariableKey(const std::string &deviceId, const std::string &variantId);

// Group name "." variable name, or the name alone when the group name is empty.
std::string ComposeItemId(const std::string &groupName, const std::string &name);
