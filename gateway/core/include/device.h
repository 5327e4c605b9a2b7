// device.h - CDevice, one collector device of a project and the owner of its
// variable records.
#pragma once

#include "variant_record.h"

#include <string>
#include <vector>

class CDevice {
public:
    CDevice() = default;
    ~CDevice();
    CDevice(const CDevice &) = delete;
    CDevice &operator=(const CDevice &) = delete;

    std::string deviceId;  // the platform's device id
    std::string name;      // device name
    std::string serlnum;   // serial number as the platform sends it
    std::string groupName; // prefix of its variables' item IDs
    std::vector<CVariant *> variants; // owned, in the platform's order
    bool hasSelected = false; // at least one variable is selected

    // Appends a new, unselected variable with its key and item ID formed
    // from this device; returns it.
    CVariant *AddVariant(const std::string &variantId, const std::string &variableName,
                         const std::string &typeName);

    // selected := checked for every variable; hasSelected follows.
    void ApplySelection();

    // Archived members: deviceId, name, serlnum, groupName, variants, hasSelected.
    template <class Archive>
    void serialize(Archive &archive, unsigned int version);
};
