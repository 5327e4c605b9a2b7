// model_setup.cpp - test states of the process's data model.
#include "model_setup.h"

void ResetManager()
{
    CManager &manager = CManager::GetInstance();
    manager.ClearProjects();
    manager.RebuildIndex();
    auto lock = manager.Lock();
    manager.sessionId.clear();
    manager.userName.clear();
    manager.password.clear();
    manager.deptId.clear();
    manager.running = true;
}

CDevice *AddDevice(const std::string &projectId, const std::string &projectName, const std::string &deviceId,
                   const std::string &deviceName, const std::vector<VariableSpec> &variables)
{
    CProject *project = new CProject;
    project->projectId = projectId;
    project->projectName = projectName;
    CDevice *device = project->AddDevice(deviceId, deviceName, "SN-" + deviceId);
    for (const VariableSpec &spec : variables) {
        CVariant *variant = device->AddVariant(spec.variantId, spec.name, spec.typeName);
        variant->checked = spec.selected;
    }
    device->ApplySelection();
    CManager &manager = CManager::GetInstance();
    manager.AddProject(project);
    manager.RebuildIndex();
    manager.RebuildDeviceProjects();
    return device;
}

const CVariant *Published(const std::string &key)
{
    CManager &manager = CManager::GetInstance();
    auto lock = manager.Lock();
    const auto found = manager.keyIndex.find(key);
    return found != manager.keyIndex.end() ? found->second : nullptr;
}

std::string ValueOf(const std::string &key)
{
    auto lock = CManager::GetInstance().Lock();
    const CVariant *variant = Published(key);
    return variant != nullptr ? variant->value : "<not published>";
}

bool IsValid(const std::string &key)
{
    auto lock = CManager::GetInstance().Lock();
    const CVariant *variant = Published(key);
    return variant != nullptr && variant->valid;
}

int QualityOf(const std::string &key)
{
    auto lock = CManager::GetInstance().Lock();
    const CVariant *variant = Published(key);
    return variant != nullptr ? variant->quality : -1;
}
