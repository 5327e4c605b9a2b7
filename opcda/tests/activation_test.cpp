// COM activation across processes: a client obtains the class object of a
// host that called dakora_start, through CLSCTX_LOCAL_SERVER, and the host
// ends with exit code 0 when the last server-process count is given back.
#include <windows.h>
#include <objbase.h>
#include <tlhelp32.h>

#include "test_host_control.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const CLSID kClassId = {0x6C1A4E10, 0x3B7D, 0x4C55, {0x9A, 0x61, 0x0D, 0x2E, 0x8F, 0x4B, 0x7A, 0x20}};
const char kHostName[] = "dakora_test_host.exe";

std::string HostPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + kHostName;
}

HANDLE StartHost(const char *arguments)
{
    std::string commandLine = "\"" + HostPath() + "\"";
    if (arguments != nullptr)
        commandLine += std::string(" ") + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

DWORD RunHost(const char *arguments)
{
    HANDLE process = StartHost(arguments);
    if (process == nullptr)
        return 0xFFFF;
    DWORD code = 0xFFFE;
    if (WaitForSingleObject(process, 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

// A running host started by someone else (COM), found by its file name.
HANDLE FindHost()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return nullptr;
    HANDLE found = nullptr;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more && found == nullptr;
         more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, kHostName) == 0)
            found = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

DWORD ExitCodeAfter(HANDLE process, DWORD timeoutMs)
{
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    return code;
}

void EndLeftoverHosts()
{
    while (HANDLE host = FindHost()) {
        TerminateProcess(host, 99);
        WaitForSingleObject(host, 5000);
        CloseHandle(host);
    }
}

IClassFactory *GetFactory(HRESULT *hr)
{
    IClassFactory *factory = nullptr;
    *hr = CoGetClassObject(kClassId, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                           reinterpret_cast<void **>(&factory));
    return factory;
}

// The factory makes server objects; an interface the server does not have
// is refused with the out pointer cleared.
void ExpectServerObjects(IClassFactory *factory)
{
    IUnknown *object = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void **>(&object)));
    ASSERT_NE(nullptr, object);
    IUnknown *server = nullptr;
    EXPECT_EQ(S_OK, object->QueryInterface(IID_IOPCServer, reinterpret_cast<void **>(&server)));
    if (server != nullptr)
        server->Release();
    object->Release();
}

class ComActivation : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(testhost::RegisterAll()); }
    static void TearDownTestSuite()
    {
        EndLeftoverHosts();
        RunHost("-unreg");
    }
    void SetUp() override
    {
        EndLeftoverHosts();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    }
    void TearDown() override { CoUninitialize(); }
};

} // namespace

// A host that started the server holding one server-process count: clients
// get its class object, and it ends with exit code 0 when dakora_stop gives
// that last count back.
TEST_F(ComActivation, ClassObjectOfARunningHostAndEndOnLastRelease)
{
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, "LumaretTestHostStarted");
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, "LumaretTestHostStop");
    ASSERT_NE(nullptr, started);
    ASSERT_NE(nullptr, stop);
    HANDLE host = StartHost("-hold");
    ASSERT_NE(nullptr, host);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(started, 30000));

    HRESULT hr = E_FAIL;
    IClassFactory *factory = GetFactory(&hr);
    ASSERT_EQ(S_OK, hr);
    ASSERT_NE(nullptr, factory);
    ExpectServerObjects(factory);
    factory->Release();

    // The host's own count keeps it running after the last server object.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(host, 500));
    SetEvent(stop);
    EXPECT_EQ(0u, ExitCodeAfter(host, 15000));
    CloseHandle(host);
    CloseHandle(started);
    CloseHandle(stop);
}

// No host is running: COM starts the program registered as LocalServer32,
// and with hold-process flag 0 it ends when the last server object, and
// the last group a client still holds, goes.
TEST_F(ComActivation, ComStartsTheRegisteredHostWhichEndsWithItsLastServerObject)
{
    IUnknown *first = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(kClassId, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                     reinterpret_cast<void **>(&first)));
    HANDLE host = FindHost();
    ASSERT_NE(nullptr, host);
    IUnknown *second = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(kClassId, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                     reinterpret_cast<void **>(&second)));
    first->Release();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(host, 500));

    // A group outlives its server object in the client's hands, and so
    // does the host.
    IOPCServer *server = nullptr;
    ASSERT_EQ(S_OK, second->QueryInterface(IID_IOPCServer, reinterpret_cast<void **>(&server)));
    OPCHANDLE groupHandle = 0;
    DWORD rate = 0;
    IOPCGroupStateMgt *group = nullptr;
    ASSERT_EQ(S_OK, server->AddGroup(L"held", TRUE, 1000, 1, nullptr, nullptr, 0, &groupHandle,
                                     &rate, IID_IOPCGroupStateMgt,
                                     reinterpret_cast<IUnknown **>(&group)));
    server->Release();
    second->Release();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(host, 1500));
    DWORD revised = 0;
    EXPECT_EQ(S_OK, group->SetState(nullptr, &revised, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(1000u, revised);
    group->Release();
    EXPECT_EQ(0u, ExitCodeAfter(host, 15000));
    CloseHandle(host);
}
