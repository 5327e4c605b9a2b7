// manager.cpp - CManager: the process's instance, the type-name table, the
// project tree operations, group names and the locked single-field access.
#include "manager.h"

#include "record_names.h"

#include <set>

CManager &CManager::GetInstance()
{
    static CManager *instance = new CManager;
    return *instance;
}

CManager::CManager()
{
    // Platform type names and the type codes of the DA library.
    typeCodes = {
        {"bool", 13},   {"int8", 1},    {"uint8", 2},  {"int16", 3},   {"uint16", 4},
        {"int32", 5},   {"uint32", 6},  {"long", 7},   {"float32", 9}, {"double", 10},
        {"bcd", 4},     {"bcd32", 6},   {"bcd64", 7},  {"string", 11},
    };
}

CManager::~CManager()
{
    for (CProject *project : projects)
        delete project;
    for (CProject *project : m_retired)
        delete project;
}

void CManager::ClearProjects()
{
    auto lock = Lock();
    m_retired.insert(m_retired.end(), projects.begin(), projects.end());
    projects.clear();
    deviceProjects.clear();
}

std::size_t CManager::ReleaseRetired()
{
    auto lock = Lock();
    std::set<const CVariant *> indexed;
    for (const auto &entry : keyIndex)
        indexed.insert(entry.second);
    for (const auto &entry : itemIdIndex)
        indexed.insert(entry.second);
    std::vector<CProject *> kept;
    for (CProject *project : m_retired) {
        bool referenced = false;
        for (const CDevice *device : project->devices)
            for (const CVariant *variant : device->variants)
                referenced = referenced || indexed.count(variant) != 0;
        if (referenced)
            kept.push_back(project);
        else
            delete project;
    }
    m_retired.swap(kept);
    return m_retired.size();
}

void CManager::AddProject(CProject *project)
{
    auto lock = Lock();
    projects.push_back(project);
}

void CManager::RebuildDeviceProjects()
{
    auto lock = Lock();
    for (const CProject *project : projects)
        for (const CDevice *device : project->devices)
            deviceProjects[device->deviceId] = project->projectId;
}

std::string CManager::ProjectOfDevice(const std::string &deviceId) const
{
    auto lock = Lock();
    const auto found = deviceProjects.find(deviceId);
    return found != deviceProjects.end() ? found->second : std::string();
}

bool CManager::SetGroupName(const std::string &text, CDevice &device)
{
    auto lock = Lock();
    if (!text.empty()) {
        for (const CProject *project : projects)
            for (const CDevice *other : project->devices)
                if (other != &device && other->groupName == text)
                    return false;
    }
    device.groupName = text;
    for (CVariant *variant : device.variants)
        variant->itemId = ComposeItemId(text, variant->name);
    LayoutChanged();
    return true;
}

int CManager::TypeCodeOf(const std::string &typeName) const
{
    auto lock = Lock();
    const auto found = typeCodes.find(typeName);
    return found != typeCodes.end() ? found->second : 0;
}

bool CManager::IsRunning() const
{
    auto lock = Lock();
    return running;
}

void CManager::SetRunning(bool value)
{
    auto lock = Lock();
    running = value;
}

std::string CManager::UserName() const
{
    auto lock = Lock();
    return userName;
}

void CManager::SetUserName(const std::string &text)
{
    auto lock = Lock();
    userName = text;
}

std::string CManager::Password() const
{
    auto lock = Lock();
    return password;
}

void CManager::SetPassword(const std::string &text)
{
    auto lock = Lock();
    password = text;
}

std::string CManager::SessionId() const
{
    auto lock = Lock();
    return sessionId;
}

void CManager::SetSessionId(const std::string &text)
{
    auto lock = Lock();
    sessionId = text;
}

std::string CManager::DeptId() const
{
    auto lock = Lock();
    return deptId;
}

void CManager::SetDeptId(const std::string &text)
{
    auto lock = Lock();
    deptId = text;
}

std::string CManager::Selection() const
{
    auto lock = Lock();
    return selection;
}
