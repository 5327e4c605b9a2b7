// project.cpp - CProject: its device records.
#include "project.h"

CProject::~CProject()
{
    for (CDevice *device : devices)
        delete device;
}

CDevice *CProject::AddDevice(const std::string &deviceId, const std::string &deviceName,
                             const std::string &serlnum)
{
    CDevice *device = new CDevice;
    device->deviceId = deviceId;
    device->name = deviceName;
    device->serlnum = serlnum;
    device->groupName = projectName + "." + deviceName;
    devices.push_back(device);
    return device;
}
