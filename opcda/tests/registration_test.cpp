// COM registration: dakoar_reg writes exactly the ProgID, CLSID and AppID
// entries of the server into the registry of this Wine prefix, in both
// service-flag variants; dakoar_unreg removes them again.
#include "dakora_da.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace {

const char kClassId[] = "{6C1A4E10-3B7D-4C55-9A61-0D2E8F4B7A10}";
const char kServiceClassId[] = "{6C1A4E10-3B7D-4C55-9A61-0D2E8F4B7A11}";
const char kProgId[] = "LumaretTest.Reg.1";
const char kServiceProgId[] = "LumaretTest.Svc.1";
const char kName[] = "Lumaret registration test";

struct Value {
    DWORD type;
    std::string text;
    DWORD number;
    bool operator==(const Value &o) const
    {
        return type == o.type && text == o.text && number == o.number;
    }
};

Value Text(const std::string &s)
{
    return {REG_SZ, s, 0};
}

Value Number(DWORD n)
{
    return {REG_DWORD, "", n};
}

std::ostream &operator<<(std::ostream &os, const Value &v)
{
    return os << "{type " << v.type << ", \"" << v.text << "\", " << v.number << "}";
}

bool KeyExists(const std::string &path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::set<std::string> SubKeys(const std::string &path)
{
    std::set<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.insert(name);
    }
    RegCloseKey(key);
    return names;
}

// Every value of a key; the default value under the name "".
std::map<std::string, Value> Values(const std::string &path)
{
    std::map<std::string, Value> values;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    char name[256];
    BYTE data[1024];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = sizeof(name), dataLength = sizeof(data), type = 0;
        if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &dataLength) !=
            ERROR_SUCCESS)
            break;
        Value v{type, "", 0};
        if (type == REG_SZ)
            v.text.assign(reinterpret_cast<const char *>(data), dataLength ? dataLength - 1 : 0);
        else if (type == REG_DWORD)
            v.number = *reinterpret_cast<const DWORD *>(data);
        values[name] = v;
    }
    RegCloseKey(key);
    return values;
}

std::string ProgramPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string ProgramFileName()
{
    std::string path = ProgramPath();
    return path.substr(path.find_last_of("\\/:") + 1);
}

void ExpectCommonEntries(const char *clsid, const char *progId)
{
    const std::string clsidKey = std::string("CLSID\\") + clsid;
    EXPECT_EQ((std::set<std::string>{"CLSID", "OPC"}), SubKeys(progId));
    EXPECT_EQ((std::map<std::string, Value>{{"", Text(kName)}}), Values(progId));
    EXPECT_EQ((std::map<std::string, Value>{{"", Text(clsid)}}), Values(std::string(progId) + "\\CLSID"));
    EXPECT_EQ((std::set<std::string>{"Vendor"}), SubKeys(std::string(progId) + "\\OPC"));
    EXPECT_TRUE(Values(std::string(progId) + "\\OPC").empty());
    EXPECT_EQ((std::map<std::string, Value>{{"", Text("LumaretTest")}}),
              Values(std::string(progId) + "\\OPC\\Vendor"));

    EXPECT_EQ((std::set<std::string>{"Implemented Categories", "LocalServer32", "ProgID"}),
              SubKeys(clsidKey));
    EXPECT_EQ((std::map<std::string, Value>{{"", Text(kName)}, {"AppID", Text(clsid)}}),
              Values(clsidKey));
    EXPECT_EQ((std::map<std::string, Value>{{"", Text(progId)}}), Values(clsidKey + "\\ProgID"));
    EXPECT_EQ((std::map<std::string, Value>{{"", Text(ProgramPath())}, {"ThreadingModel", Text("Free")}}),
              Values(clsidKey + "\\LocalServer32"));
    EXPECT_EQ((std::set<std::string>{"{63D5F430-CFE4-11d1-B2C8-0060083BA1FB}",
                                     "{63D5F432-CFE4-11d1-B2C8-0060083BA1FB}",
                                     "{CC603642-66D7-48f1-B69A-B625E73652D7}"}),
              SubKeys(clsidKey + "\\Implemented Categories"));
    EXPECT_EQ((std::map<std::string, Value>{{"AppID", Text(clsid)}}),
              Values("APPID\\" + ProgramFileName()));
}

void ExpectGone(const char *clsid, const char *progId)
{
    EXPECT_FALSE(KeyExists(progId));
    EXPECT_FALSE(KeyExists(std::string("CLSID\\") + clsid));
    EXPECT_FALSE(KeyExists(std::string("APPID\\") + clsid));
    EXPECT_FALSE(KeyExists("APPID\\" + ProgramFileName()));
}

} // namespace

TEST(Registration, InteractiveUserVariant)
{
    ASSERT_EQ(DAKORA_OK, dakoar_reg(kClassId, "LumaretTest", "Reg", "1", kName, 0));
    ExpectCommonEntries(kClassId, kProgId);
    EXPECT_EQ((std::map<std::string, Value>{{"", Text(kName)},
                                            {"AuthenticationLevel", Number(0)},
                                            {"RunAs", Text("Interactive User")}}),
              Values(std::string("APPID\\") + kClassId));

    // Registering again overwrites the same values.
    ASSERT_EQ(DAKORA_OK, dakoar_reg(kClassId, "LumaretTest", "Reg", "1", kName, 0));
    ExpectCommonEntries(kClassId, kProgId);

    EXPECT_EQ(DAKORA_OK, dakoar_unreg(kClassId, "LumaretTest", "Reg", "1", kName));
    ExpectGone(kClassId, kProgId);
    // Nothing left to delete: 1, without harm.
    EXPECT_EQ(DAKORA_E_REGISTRY, dakoar_unreg(kClassId, "LumaretTest", "Reg", "1", kName));
}

TEST(Registration, ServiceVariant)
{
    ASSERT_EQ(DAKORA_OK, dakoar_reg(kServiceClassId, "LumaretTest", "Svc", "1", kName, 1));
    ExpectCommonEntries(kServiceClassId, kServiceProgId);
    EXPECT_EQ((std::map<std::string, Value>{{"", Text(kName)},
                                            {"AuthenticationLevel", Number(1)},
                                            {"LocalService", Text(kName)},
                                            {"ServiceParameters", Text("-Service")}}),
              Values(std::string("APPID\\") + kServiceClassId));
    EXPECT_EQ(DAKORA_OK, dakoar_unreg(kServiceClassId, "LumaretTest", "Svc", "1", kName));
    ExpectGone(kServiceClassId, kServiceProgId);
}

TEST(Registration, BadIdentityIsRefusedBeforeAnyRegistryAccess)
{
    const std::string longName(128, 'n');
    EXPECT_EQ(DAKORA_E_ARGUMENT,
              dakoar_reg(kClassId, "LumaretTest", "Reg", "1", longName.c_str(), 0));
    EXPECT_FALSE(KeyExists(kProgId));
    EXPECT_FALSE(KeyExists(std::string("CLSID\\") + kClassId));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakoar_reg(kClassId, "", "Reg", "1", kName, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakoar_unreg(kClassId, "LumaretTest", "Reg", "", kName));
    EXPECT_EQ(DAKORA_E_ARGUMENT,
              dakoar_unreg(std::string(80, '{').c_str(), "LumaretTest", "Reg", "1", kName));
}

TEST(Registration, UnregisterWithNothingRegisteredChangesNothing)
{
    EXPECT_EQ(DAKORA_E_REGISTRY, dakoar_unreg(kClassId, "LumaretTest", "None", "1", kName));
    EXPECT_FALSE(KeyExists("LumaretTest.None.1"));
}
