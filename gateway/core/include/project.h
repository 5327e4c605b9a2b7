// project.h - CProject, one platform project and the owner of its devices.
#pragma once

#include "device.h"

#include <string>
#include <vector>

class CProject {
public:
    CProject() = default;
    ~CProject();
    CProject(const CProject &) = delete;
    CProject &operator=(const CProject &) = delete;

    std::string projectId;   // the platform's project id
    std::string projectName; // project name
    std::vector<CDevice *> devices; // owned, in the platform's order

    // Appends a new device whose group name is the project name "." the
    // device name; returns it.
    CDevice *AddDevice(const std::string &deviceId, const std::string &deviceName,
                       const std::string &serlnum);

    // Archived members: projectId, projectName, devices.
    template <class Archive>
    void serialize(Archive &archive, unsigned int version);
};
