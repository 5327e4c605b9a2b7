// The installer in silent mode, as a scripted install runs it: the
// programs land in Program Files, the OPC server and both proxy/stubs are
// registered, in the registry views of both bitnesses (an interface that
// already has somebody else's proxy keeps it), the command-line client
// finds the server; the uninstaller removes all of that and leaves the
// foreign proxy alone.
#include "test_host_control.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const char kOpcServerInterface[] = "Interface\\{39C13A4D-011E-11D0-9675-0020AFD8ADB3}\\ProxyStubClsid32";
const char kItemMgtInterface[] = "Interface\\{39C13A54-011E-11D0-9675-0020AFD8ADB3}\\ProxyStubClsid32";
const char kForeignProxy[] = "{0C0FFEE0-1234-4321-ABCD-00000000F00D}";

// Keys in this (32-bit) program's view, or in the 64-bit one.
std::string ReadDefault(const char *key, REGSAM view = 0)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ | view, &handle) != ERROR_SUCCESS)
        return std::string();
    char value[256] = {0};
    DWORD size = sizeof(value) - 1;
    const LONG result = RegQueryValueExA(handle, nullptr, nullptr, nullptr,
                                         reinterpret_cast<BYTE *>(value), &size);
    RegCloseKey(handle);
    return result == ERROR_SUCCESS ? std::string(value) : std::string();
}

bool KeyExists(const std::string &key, REGSAM view = 0)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

const char kServerCategory[] = "CLSID\\{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}\\Implemented Categories\\"
                               "{CC603642-66D7-48f1-B69A-B625E73652D7}";

std::string InstallDir()
{
    char folder[MAX_PATH] = {0};
    SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, folder);
    return std::string(folder) + "\\Lumaret";
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD RunCommand(const std::string &commandLine, std::string *output = nullptr)
{
    return testhost::RunCommandLine(commandLine, output, 120000);
}

} // namespace

// Whatever happens in the test, the prefix is left as the other tests
// expect it: our proxy for every OPC interface, no test OPC server.
struct PrefixRestore {
    ~PrefixRestore()
    {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, kOpcServerInterface);
        testhost::RegisterAll();
        testhost::UnregisterHost();
    }
};

TEST(Installer, SilentInstallThenUninstallKeepsAForeignProxy)
{
    PrefixRestore restore;
    // Somebody else's proxy for IOPCServer is registered before we come.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, kOpcServerInterface, REG_SZ,
                                          kForeignProxy, sizeof(kForeignProxy) - 1));
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kItemMgtInterface);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "OPC.SERVER.1.0\\OPC\\Vendor");

    const std::string dir = InstallDir();
    ASSERT_EQ(0u, RunCommand("\"" + testhost::BinPath("LumaretSetup.exe") + "\" /S"));
    for (const char *file : {"Lumaret.exe", "Tessiva.exe", "dakora_da.dll", "dakora_ps.dll", "opccli.exe",
                             "x64\\dakora_ps.dll", "x64\\opccli.exe", "uninstall.exe"})
        EXPECT_TRUE(FileExists(dir + "\\" + file)) << file;

    // The OPC server, registered by the installed bridge.
    EXPECT_EQ("{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}", ReadDefault("OPC.SERVER.1.0\\CLSID"));
    EXPECT_EQ("QNLumaret", ReadDefault("OPC.SERVER.1.0"));
    EXPECT_EQ("OPC", ReadDefault("OPC.SERVER.1.0\\OPC\\Vendor"));
    EXPECT_EQ(dir + "\\Tessiva.exe",
              ReadDefault("CLSID\\{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}\\LocalServer32"));
    EXPECT_TRUE(KeyExists("CLSID\\{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}\\Implemented Categories\\"
                          "{63D5F432-CFE4-11d1-B2C8-0060083BA1FB}"));
    EXPECT_EQ("QNLumaret", ReadDefault("APPID\\{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}"));

    // Proxies: ours where there was none, the foreign one left in place.
    EXPECT_EQ(kForeignProxy, ReadDefault(kOpcServerInterface));
    const std::string ours = ReadDefault(kItemMgtInterface);
    EXPECT_FALSE(ours.empty());
    EXPECT_NE(kForeignProxy, ours);
    // The 64-bit view: the server, its categories and the 64-bit proxy/stub
    // (whose factory is the same class id, served by the x64 DLL).
    EXPECT_EQ(dir + "\\Tessiva.exe",
              ReadDefault("CLSID\\{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}\\LocalServer32", KEY_WOW64_64KEY));
    EXPECT_TRUE(KeyExists(kServerCategory, KEY_WOW64_64KEY));
    EXPECT_EQ(ours, ReadDefault(kItemMgtInterface, KEY_WOW64_64KEY));
    EXPECT_EQ(dir + "\\x64\\dakora_ps.dll",
              ReadDefault(("CLSID\\" + ours + "\\InprocServer32").c_str(), KEY_WOW64_64KEY));
    EXPECT_EQ(dir + "\\dakora_ps.dll", ReadDefault(("CLSID\\" + ours + "\\InprocServer32").c_str()));

    std::string output;
    EXPECT_EQ(0u, RunCommand("\"" + dir + "\\opccli.exe\" list", &output));
    EXPECT_NE(std::string::npos, output.find("OPC.SERVER.1.0 {6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9} DA 1.0 2.0 3.0"))
        << output;

    // The uninstaller runs from a copy of itself and returns at once.
    ASSERT_EQ(0u, RunCommand("\"" + dir + "\\uninstall.exe\" /S"));
    EXPECT_TRUE(testhost::WaitFor([&] { return !FileExists(dir + "\\Tessiva.exe") && !FileExists(dir); }, 60000));
    EXPECT_FALSE(KeyExists("OPC.SERVER.1.0"));
    EXPECT_FALSE(KeyExists("CLSID\\{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}"));
    EXPECT_FALSE(KeyExists("APPID\\{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}"));
    EXPECT_FALSE(KeyExists(kItemMgtInterface));
    EXPECT_EQ(kForeignProxy, ReadDefault(kOpcServerInterface));
    EXPECT_FALSE(KeyExists("CLSID\\{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}", KEY_WOW64_64KEY));
    EXPECT_FALSE(KeyExists(kItemMgtInterface, KEY_WOW64_64KEY));
    EXPECT_FALSE(KeyExists("CLSID\\" + ours, KEY_WOW64_64KEY));
}
