// model_setup.h - puts the process's data model into a known state for a
// test: empty, or with a small tree of records whose selected variables are
// indexed.
#pragma once

#include "manager.h"

#include <string>
#include <vector>

// Empty tree and indexes, no login values, running set.
void ResetManager();

struct VariableSpec {
    std::string variantId;
    std::string name;
    std::string typeName;
    bool selected;
};

// Appends a project with one device and its variables, then rebuilds the
// indexes and the device-to-project map. Returns the device.
CDevice *AddDevice(const std::string &projectId, const std::string &projectName, const std::string &deviceId,
                   const std::string &deviceName, const std::vector<VariableSpec> &variables);

// The record with this key from the key index, null when it is not there.
const CVariant *Published(const std::string &key);
// Copies of value, validity and quality under the manager lock.
std::string ValueOf(const std::string &key);
bool IsValid(const std::string &key);
int QualityOf(const std::string &key); // -1 when not published
