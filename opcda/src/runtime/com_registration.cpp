// com_registration.cpp - registration and unregistration of the OPC DA
// server under HKEY_CLASSES_ROOT. Registration is not transactional: on a
// failure the entries already written stay.
#include "com_registration.h"

#include "dakora_da.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

const char *const kCategoryDA10 = "{63D5F430-CFE4-11d1-B2C8-0060083BA1FB}";
const char *const kCategoryDA20 = "{63D5F432-CFE4-11d1-B2C8-0060083BA1FB}";
const char *const kCategoryDA30 = "{CC603642-66D7-48f1-B69A-B625E73652D7}";

// An open key under HKEY_CLASSES_ROOT, closed when it goes out of scope.
class CClassesKey {
public:
    explicit CClassesKey(const std::string &path)
    {
        if (RegCreateKeyA(HKEY_CLASSES_ROOT, path.c_str(), &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~CClassesKey()
    {
        if (m_key != nullptr)
            RegCloseKey(m_key);
    }
    CClassesKey(const CClassesKey &) = delete;
    CClassesKey &operator=(const CClassesKey &) = delete;

    bool IsOpen() const { return m_key != nullptr; }

    bool SetText(const char *name, const std::string &data)
    {
        return RegSetValueExA(m_key, name, 0, REG_SZ,
                              reinterpret_cast<const BYTE *>(data.c_str()),
                              static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
    }

    bool SetNumber(const char *name, DWORD value)
    {
        return RegSetValueExA(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                              sizeof(value)) == ERROR_SUCCESS;
    }

private:
    HKEY m_key = nullptr;
};

// Creates a key and sets its default value (when given).
bool CreateWithDefault(const std::string &path, const std::string *defaultValue)
{
    CClassesKey key(path);
    if (!key.IsOpen())
        return false;
    return defaultValue == nullptr || key.SetText(nullptr, *defaultValue);
}

std::string ProgramPath()
{
    char path[MAX_PATH + 1] = {0};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string ProgramFileName(const std::string &path)
{
    const size_t cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

} // namespace

int RegisterServer(const ServerIdentity &identity, int serviceFlag)
{
    const std::string &clsid = identity.classId;
    const std::string &progId = identity.progId;
    const std::string &name = identity.serverName;
    const std::string clsidKey = "CLSID\\" + clsid;
    const std::string appIdKey = "APPID\\" + clsid;
    const std::string programPath = ProgramPath();
    const std::string categories = clsidKey + "\\Implemented Categories";

    if (!CreateWithDefault(progId, &name) ||
        !CreateWithDefault(progId + "\\CLSID", &clsid) ||
        !CreateWithDefault(progId + "\\OPC", nullptr) ||
        !CreateWithDefault(progId + "\\OPC\\Vendor", &identity.vendor))
        return DAKORA_E_REGISTRY;
    {
        CClassesKey key(clsidKey);
        if (!key.IsOpen() || !key.SetText(nullptr, name) || !key.SetText("AppID", clsid))
            return DAKORA_E_REGISTRY;
    }
    if (!CreateWithDefault(clsidKey + "\\ProgID", &progId))
        return DAKORA_E_REGISTRY;
    {
        CClassesKey key(clsidKey + "\\LocalServer32");
        if (!key.IsOpen() || !key.SetText(nullptr, programPath) ||
            !key.SetText("ThreadingModel", "Free"))
            return DAKORA_E_REGISTRY;
    }
    if (!CreateWithDefault(categories, nullptr) ||
        !CreateWithDefault(categories + "\\" + kCategoryDA10, nullptr) ||
        !CreateWithDefault(categories + "\\" + kCategoryDA20, nullptr) ||
        !CreateWithDefault(categories + "\\" + kCategoryDA30, nullptr))
        return DAKORA_E_REGISTRY;
    {
        CClassesKey key(appIdKey);
        if (!key.IsOpen() || !key.SetText(nullptr, name))
            return DAKORA_E_REGISTRY;
        // Launch and security settings; their outcome is not looked at.
        if (serviceFlag == 0) {
            key.SetNumber("AuthenticationLevel", 0);
            key.SetText("RunAs", "Interactive User");
        } else {
            key.SetNumber("AuthenticationLevel", 1);
            key.SetText("LocalService", name);
            key.SetText("ServiceParameters", "-Service");
        }
    }
    CClassesKey programKey("APPID\\" + ProgramFileName(programPath));
    if (!programKey.IsOpen() || !programKey.SetText("AppID", clsid))
        return DAKORA_E_REGISTRY;
    return DAKORA_OK;
}

int UnregisterServer(const ServerIdentity &identity)
{
    const std::string clsidKey = "CLSID\\" + identity.classId;
    const std::string categories = clsidKey + "\\Implemented Categories";
    const std::string &progId = identity.progId;
    // Children before parents: a key with subkeys cannot be deleted.
    const std::string keys[] = {
        categories + "\\" + kCategoryDA30,
        categories + "\\" + kCategoryDA20,
        categories + "\\" + kCategoryDA10,
        categories,
        clsidKey + "\\LocalServer32",
        clsidKey + "\\ProgID",
        clsidKey,
        progId + "\\OPC\\Vendor",
        progId + "\\OPC",
        progId + "\\CLSID",
        progId,
    };
    LONG progIdResult = ERROR_FILE_NOT_FOUND;
    for (const std::string &key : keys) {
        LONG result = RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
        if (result == ERROR_ACCESS_DENIED)
            return DAKORA_E_REGISTRY;
        progIdResult = result; // the last one is the ProgID key
    }
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ("APPID\\" + identity.classId).c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ("APPID\\" + ProgramFileName(ProgramPath())).c_str());
    return progIdResult == ERROR_SUCCESS ? DAKORA_OK : DAKORA_E_REGISTRY;
}
