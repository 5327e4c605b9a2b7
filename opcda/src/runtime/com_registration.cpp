// com_registration.cpp - registration and unregistration of the OPC DA
// server under HKEY_CLASSES_ROOT, in both registry views of a 64-bit
// Windows (the 32-bit and the 64-bit one), so that OPC clients and browsers
// of either bitness find the server. On a 32-bit Windows both are the one
// view. Registration is not transactional: on a failure the entries already
// written stay.
#include "com_registration.h"

#include "dakora_da.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

const char *const kCategoryDA10 = "{63D5F430-CFE4-11d1-B2C8-0060083BA1FB}";
const char *const kCategoryDA20 = "{63D5F432-CFE4-11d1-B2C8-0060083BA1FB}";
const char *const kCategoryDA30 = "{CC603642-66D7-48f1-B69A-B625E73652D7}";

// The two views, the process's own first.
#if defined(_WIN64)
const REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
#else
const REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
#endif

// An open key under HKEY_CLASSES_ROOT in one view, created when missing,
// closed when it goes out of scope.
class CClassesKey {
public:
    CClassesKey(const std::string &path, REGSAM view)
    {
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE | view,
                            nullptr, &m_key, nullptr) != ERROR_SUCCESS)
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
bool CreateWithDefault(const std::string &path, const std::string *defaultValue, REGSAM view)
{
    CClassesKey key(path, view);
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

int RegisterInView(const ServerIdentity &identity, int serviceFlag, REGSAM view)
{
    const std::string &clsid = identity.classId;
    const std::string &progId = identity.progId;
    const std::string &name = identity.serverName;
    const std::string clsidKey = "CLSID\\" + clsid;
    const std::string appIdKey = "APPID\\" + clsid;
    const std::string programPath = ProgramPath();
    const std::string categories = clsidKey + "\\Implemented Categories";

    if (!CreateWithDefault(progId, &name, view) ||
        !CreateWithDefault(progId + "\\CLSID", &clsid, view) ||
        !CreateWithDefault(progId + "\\OPC", nullptr, view) ||
        !CreateWithDefault(progId + "\\OPC\\Vendor", &identity.vendor, view))
        return DAKORA_E_REGISTRY;
    {
        CClassesKey key(clsidKey, view);
        if (!key.IsOpen() || !key.SetText(nullptr, name) || !key.SetText("AppID", clsid))
            return DAKORA_E_REGISTRY;
    }
    if (!CreateWithDefault(clsidKey + "\\ProgID", &progId, view))
        return DAKORA_E_REGISTRY;
    {
        CClassesKey key(clsidKey + "\\LocalServer32", view);
        if (!key.IsOpen() || !key.SetText(nullptr, programPath) ||
            !key.SetText("ThreadingModel", "Free"))
            return DAKORA_E_REGISTRY;
    }
    if (!CreateWithDefault(categories, nullptr, view) ||
        !CreateWithDefault(categories + "\\" + kCategoryDA10, nullptr, view) ||
        !CreateWithDefault(categories + "\\" + kCategoryDA20, nullptr, view) ||
        !CreateWithDefault(categories + "\\" + kCategoryDA30, nullptr, view))
        return DAKORA_E_REGISTRY;
    {
        CClassesKey key(appIdKey, view);
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
    CClassesKey programKey("APPID\\" + ProgramFileName(programPath), view);
    if (!programKey.IsOpen() || !programKey.SetText("AppID", clsid))
        return DAKORA_E_REGISTRY;
    return DAKORA_OK;
}

// Deletes the keys in one view; the outcome of deleting the ProgID key, or
// ERROR_ACCESS_DENIED when a deletion was refused.
LONG UnregisterInView(const ServerIdentity &identity, REGSAM view)
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
        LONG result = RegDeleteKeyExA(HKEY_CLASSES_ROOT, key.c_str(), view, 0);
        if (result == ERROR_ACCESS_DENIED)
            return result;
        progIdResult = result; // the last one is the ProgID key
    }
    RegDeleteKeyExA(HKEY_CLASSES_ROOT, ("APPID\\" + identity.classId).c_str(), view, 0);
    RegDeleteKeyExA(HKEY_CLASSES_ROOT, ("APPID\\" + ProgramFileName(ProgramPath())).c_str(), view, 0);
    return progIdResult;
}

} // namespace

int RegisterServer(const ServerIdentity &identity, int serviceFlag)
{
    for (REGSAM view : kViews) {
        const int result = RegisterInView(identity, serviceFlag, view);
        if (result != DAKORA_OK)
            return result;
    }
    return DAKORA_OK;
}

// Keys that both views share (on Windows the ProgIDs at the root) are gone
// after the first view: the ProgID counts as deleted when either view
// deleted it.
int UnregisterServer(const ServerIdentity &identity)
{
    bool progIdDeleted = false;
    for (REGSAM view : kViews) {
        const LONG result = UnregisterInView(identity, view);
        if (result == ERROR_ACCESS_DENIED)
            return DAKORA_E_REGISTRY;
        progIdDeleted = progIdDeleted || result == ERROR_SUCCESS;
    }
    return progIdDeleted ? DAKORA_OK : DAKORA_E_REGISTRY;
}
