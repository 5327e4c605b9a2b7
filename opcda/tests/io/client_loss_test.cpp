// A client process that subscribes and is then killed, without releasing
// anything, does not stall the deliveries to the other clients of the same
// host. The lost client is this test program run a second time with a
// filter that selects only its DISABLED_ child test.
#include "data_callback_recorder.h"
#include "hosted_server.h"

#include <gtest/gtest.h>

using namespace iotest;

namespace {

const char kSubscribedEvent[] = "LumaretIoLostClientSubscribed";

HANDLE StartLostClient()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string commandLine = std::string("\"") + path +
                              "\" --gtest_also_run_disabled_tests"
                              " --gtest_filter=LostClient.DISABLED_SubscribesAndWaitsToBeKilled";
    // Its output is not wanted: it reports through the event, or not at all.
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = nul;
    si.hStdError = nul;
    PROCESS_INFORMATION pi = {};
    const BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &si, &pi);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!started)
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

class ClientLoss : public HostedServer {};

} // namespace

// Run only inside the child process: connects to the running host,
// subscribes, tells the parent and waits to be killed.
TEST(LostClient, DISABLED_SubscribesAndWaitsToBeKilled)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, testhost::CreateServer(server.Out()));
    ComPtr<IOPCItemMgt> group;
    OPCHANDLE serverGroup = 0;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, server->AddGroup(L"lost", TRUE, 200, 1, nullptr, nullptr, 0, &serverGroup,
                                     &revised, IID_IOPCItemMgt,
                                     reinterpret_cast<LPUNKNOWN *>(group.Out())));
    OPCITEMDEF def;
    ZeroMemory(&def, sizeof(def));
    def.szAccessPath = const_cast<LPWSTR>(L"");
    def.szItemID = const_cast<LPWSTR>(L"Area.Pump.Speed");
    def.bActive = TRUE;
    def.hClient = 1;
    OPCITEMRESULT *results = nullptr;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, group->AddItems(1, &def, &results, &errors));
    ComPtr<DataCallbackRecorder> sink = DataCallbackRecorder::Create();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, AdviseDataCallback(group.Get(), sink.Get(), &cookie));
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kDataChange, 1, kArrival));
    HANDLE subscribed = OpenEventA(EVENT_MODIFY_STATE, FALSE, kSubscribedEvent);
    ASSERT_NE(nullptr, subscribed);
    SetEvent(subscribed);
    Sleep(120000);
    ExitProcess(5); // the parent should have killed it long ago
}

TEST_F(ClientLoss, KilledSubscriberDoesNotStallTheOtherClients)
{
    // The killed client's server object stays in the host.
    expectHostEnd = false;
    ComPtr<IOPCItemMgt> group = AddGroup(200, 3);
    AddItems(group.Get(), {"Area.Pump.Speed"}, {1});
    ComPtr<DataCallbackRecorder> sink = DataCallbackRecorder::Create();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, AdviseDataCallback(group.Get(), sink.Get(), &cookie));
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kDataChange, 1, kArrival));

    HANDLE subscribed = CreateEventA(nullptr, TRUE, FALSE, kSubscribedEvent);
    ASSERT_NE(nullptr, subscribed);
    HANDLE child = StartLostClient();
    ASSERT_NE(nullptr, child);
    const DWORD waited = WaitForSingleObject(subscribed, 60000);
    TerminateProcess(child, 9);
    WaitForSingleObject(child, 10000);
    CloseHandle(child);
    CloseHandle(subscribed);
    ASSERT_EQ(WAIT_OBJECT_0, waited) << "the child client did not subscribe";

    // Every scan now also calls the dead client's sink.
    for (int i = 0; i < 3; ++i) {
        const std::string value = std::to_string(3000 + i);
        ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", value));
        EXPECT_TRUE(sink->WaitForValue(1, value, kArrival)) << value;
    }
}
