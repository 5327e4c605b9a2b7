// hosted_server.cpp - fixture and host helpers of the out-of-process I/O tests.
#include "hosted_server.h"

#include "opc_errors.h"

#include <tlhelp32.h>

#include <cstdlib>
#include <sstream>

namespace iotest {

namespace {

bool ParseWrite(const std::string &line, HostWrite *write)
{
    // "write <item> <type> <value> <quality> <time as 16 hex digits>"; the
    // value is one word for every type the tests write.
    std::istringstream in(line);
    std::string word, time;
    in >> word >> write->itemId >> write->type >> write->value >> write->quality >> time;
    if (word != "write" || in.fail())
        return false;
    write->time = std::strtoull(time.c_str(), nullptr, 16);
    return true;
}

// Whether a test host process exists, without waiting for its pipe.
bool HostRunning()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry))
        found = lstrcmpiA(entry.szExeFile, "dakora_test_host.exe") == 0;
    CloseHandle(snapshot);
    return found;
}

} // namespace

std::vector<HostWrite> TakeHostWrites()
{
    std::vector<HostWrite> writes;
    for (const std::string &line : testhost::Command("writes")) {
        HostWrite write;
        if (ParseWrite(line, &write))
            writes.push_back(write);
    }
    return writes;
}

std::vector<HostWrite> WaitForHostWrites(size_t count, DWORD timeoutMs)
{
    std::vector<HostWrite> writes;
    testhost::WaitFor(
        [&] {
            std::vector<HostWrite> more = TakeHostWrites();
            writes.insert(writes.end(), more.begin(), more.end());
            return writes.size() >= count;
        },
        timeoutMs);
    return writes;
}

bool HostSet(const std::string &itemId, const std::string &type, const std::string &value,
             unsigned quality)
{
    return testhost::CommandCode("set " + itemId + " " + type + " " + value + " " +
                                 std::to_string(quality)) == 0;
}

bool HostSetText(const std::string &itemId, const std::string &text)
{
    return testhost::CommandCode("setstr " + itemId + " " + text) == 0;
}

bool HostSetBlob(const std::string &itemId, const std::string &hex)
{
    return testhost::CommandCode("setblob " + itemId + " " + hex) == 0;
}

ULONGLONG FileTimeValue(const FILETIME &time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

ULONGLONG NowValue()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FileTimeValue(now);
}

FILETIME MakeFileTime(ULONGLONG value)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

void HostedServer::SetUpTestSuite()
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_TRUE(testhost::RegisterAll());
}

void HostedServer::TearDownTestSuite()
{
    testhost::UnregisterHost();
    CoUninitialize();
}

// A host still running is asked to withdraw its class object before it
// ends: under Wine, a host that is killed while registered leaves its
// registration behind and every later activation fails.
void EndHostGracefully()
{
    if (!HostRunning())
        return;
    HANDLE host = testhost::OpenHostProcess();
    if (host != nullptr) {
        testhost::CommandCode("stop");
        Sleep(500);
        testhost::Command("exit");
        testhost::ExitCodeAfter(host, 10000);
        CloseHandle(host);
    }
    testhost::EndHosts();
}

void HostedServer::SetUp()
{
    EndHostGracefully();
    ASSERT_EQ(S_OK, testhost::CreateServer(server.Out()));
    m_host = testhost::OpenHostProcess();
    ASSERT_NE(nullptr, m_host);
}

// The host ends with exit code 0 once the test's server object is gone.
void HostedServer::TearDown()
{
    server.Reset();
    if (m_host != nullptr) {
        if (expectHostEnd) {
            EXPECT_EQ(0u, testhost::ExitCodeAfter(m_host, 30000));
        }
        CloseHandle(m_host);
        m_host = nullptr;
    }
    EndHostGracefully();
}

ComPtr<IOPCItemMgt> HostedServer::AddGroup(DWORD rate, OPCHANDLE clientGroup, BOOL active,
                                           OPCHANDLE *serverGroup)
{
    ComPtr<IOPCItemMgt> group;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    // No name: the server makes a unique one for each group.
    HRESULT hr = server->AddGroup(L"", active, rate, clientGroup, nullptr, nullptr, 0, &handle,
                                  &revised, IID_IOPCItemMgt,
                                  reinterpret_cast<LPUNKNOWN *>(group.Out()));
    EXPECT_EQ(rate >= 200 ? S_OK : OPC_S_UNSUPPORTEDRATE, hr);
    if (serverGroup != nullptr)
        *serverGroup = handle;
    return group;
}

std::vector<OPCHANDLE> HostedServer::AddItems(IOPCItemMgt *group,
                                              const std::vector<std::string> &itemIds,
                                              const std::vector<OPCHANDLE> &clientHandles,
                                              VARTYPE requestedType)
{
    std::vector<OPCHANDLE> handles(itemIds.size(), 0);
    if (group == nullptr || itemIds.size() != clientHandles.size()) {
        ADD_FAILURE() << "no group, or item IDs and client handles differ in number";
        return handles;
    }
    std::vector<std::wstring> names;
    for (const std::string &id : itemIds)
        names.push_back(std::wstring(id.begin(), id.end()));
    std::vector<OPCITEMDEF> defs(itemIds.size());
    for (size_t i = 0; i < defs.size(); ++i) {
        ZeroMemory(&defs[i], sizeof(defs[i]));
        defs[i].szAccessPath = const_cast<LPWSTR>(L"");
        defs[i].szItemID = const_cast<LPWSTR>(names[i].c_str());
        defs[i].bActive = TRUE;
        defs[i].hClient = clientHandles[i];
        defs[i].vtRequestedDataType = requestedType;
    }
    OPCITEMRESULT *results = nullptr;
    HRESULT *errors = nullptr;
    HRESULT hr = group->AddItems(static_cast<DWORD>(defs.size()), defs.data(), &results, &errors);
    EXPECT_EQ(S_OK, hr);
    if (FAILED(hr))
        return handles;
    for (size_t i = 0; i < defs.size(); ++i) {
        EXPECT_EQ(S_OK, errors[i]) << itemIds[i];
        if (errors[i] == S_OK)
            handles[i] = results[i].hServer;
        CoTaskMemFree(results[i].pBlob);
    }
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    return handles;
}

OPCHANDLE HostedServer::TagHandle(const std::string &itemId)
{
    OPCHANDLE serverGroup = 0;
    ComPtr<IOPCItemMgt> group = AddGroup(1000, 0, FALSE, &serverGroup);
    std::vector<OPCHANDLE> handles = AddItems(group.Get(), {itemId}, {1});
    group.Reset();
    server->RemoveGroup(serverGroup, FALSE);
    return handles[0];
}

bool HostedServer::ReadState(const std::string &itemId, FILETIME *timestamp, WORD *quality)
{
    OPCHANDLE serverGroup = 0;
    ComPtr<IOPCItemMgt> group = AddGroup(1000, 0, FALSE, &serverGroup);
    std::vector<OPCHANDLE> handles = AddItems(group.Get(), {itemId}, {1});
    ComPtr<IOPCSyncIO> io = Query<IOPCSyncIO>(group.Get(), IID_IOPCSyncIO);
    bool ok = false;
    OPCITEMSTATE *states = nullptr;
    HRESULT *errors = nullptr;
    if (io && handles[0] != 0 &&
        SUCCEEDED(io->Read(OPC_DS_DEVICE, 1, handles.data(), &states, &errors))) {
        ok = errors[0] == S_OK;
        *timestamp = states[0].ftTimeStamp;
        *quality = states[0].wQuality;
        VariantClear(&states[0].vDataValue);
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
    }
    io.Reset();
    group.Reset();
    server->RemoveGroup(serverGroup, FALSE);
    return ok;
}

} // namespace iotest
