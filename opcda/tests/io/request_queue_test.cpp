// The request queue of a group and the worker that runs it, in process:
// the worker is held inside a test sink's OnReadComplete (called after the
// worker released the server and group locks), so requests pile up in the
// queue. 255 may wait and the next is refused; a request cancelled while
// waiting is skipped and reported with OnCancelComplete; a read whose item
// went away meanwhile reports it as invalid; client calls go through while
// a callback is in progress. The program holds one server-process count of
// its own, so releasing its last server object does not end it.
#include "dakora_da.h"
#include "data_callback_recorder.h"
#include "library_state.h"
#include "opc_errors.h"
#include "opc_server.h"

#include <olectl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace iotest;

namespace {

class ServerProcessHold : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        CoAddRefServerProcess();
        ASSERT_EQ(DAKORA_OK, dakora_addtag("Queue.A", "Queue.A", "", DAKORA_TAG_I4, 1));
        ASSERT_EQ(DAKORA_OK, dakora_addtag("Queue.B", "Queue.B", "", DAKORA_TAG_I4, 1));
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_I4;
        V_I4(&v) = 1;
        ASSERT_EQ(DAKORA_OK, dakora_setval("Queue.A", &v, 192, 0, 0));
        V_I4(&v) = 2;
        ASSERT_EQ(DAKORA_OK, dakora_setval("Queue.B", &v, 192, 0, 0));
    }
};

[[maybe_unused]] ::testing::Environment *const g_hold = ::testing::AddGlobalTestEnvironment(new ServerProcessHold);

const OPCHANDLE kClientGroup = 70;
const DWORD kArrival = 15000;

class RequestQueue : public ::testing::Test {
protected:
    void SetUp() override
    {
        COpcDaServer *object = COpcDaServer::Create();
        ASSERT_NE(nullptr, object);
        object->AddRef();
        server = ComPtr<IOPCServer>::Attach(object);
        OPCHANDLE serverGroup = 0;
        DWORD revised = 0;
        // Active (refreshes need that) but disabled below: only queued
        // requests run, no scans.
        ASSERT_EQ(S_OK, server->AddGroup(L"queue", TRUE, 1000, kClientGroup, nullptr, nullptr, 0,
                                         &serverGroup, &revised, IID_IOPCItemMgt,
                                         reinterpret_cast<LPUNKNOWN *>(group.Out())));
        OPCITEMDEF defs[2];
        ZeroMemory(defs, sizeof(defs));
        defs[0].szItemID = const_cast<LPWSTR>(L"Queue.A");
        defs[0].hClient = 1;
        defs[0].bActive = TRUE;
        defs[1].szItemID = const_cast<LPWSTR>(L"Queue.B");
        defs[1].hClient = 2;
        defs[1].bActive = TRUE;
        OPCITEMRESULT *results = nullptr;
        HRESULT *errors = nullptr;
        ASSERT_EQ(S_OK, group->AddItems(2, defs, &results, &errors));
        handleA = results[0].hServer;
        handleB = results[1].hServer;
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
        async = Query<IOPCAsyncIO3>(group.Get(), IID_IOPCAsyncIO3);
        ASSERT_TRUE(async);
        ASSERT_EQ(S_OK, async->SetEnable(FALSE));

        entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        sink = DataCallbackRecorder::Create();
        // The first OnReadComplete holds the worker until the test lets go.
        sink->SetReadCompleteHook([this] {
            if (holdNext.exchange(false)) {
                SetEvent(entered);
                WaitForSingleObject(release, 60000);
            }
        });
        DWORD cookie = 0;
        ASSERT_EQ(S_OK, AdviseDataCallback(group.Get(), sink.Get(), &cookie));
    }

    void TearDown() override
    {
        if (release != nullptr)
            SetEvent(release);
        async.Reset();
        group.Reset();
        server.Reset(); // stops the worker; the process lives on
        if (sink)
            sink->SetReadCompleteHook(nullptr);
        if (entered != nullptr)
            CloseHandle(entered);
        if (release != nullptr)
            CloseHandle(release);
    }

    // Queues a read of A; the worker takes it and stays in its callback.
    void HoldWorker()
    {
        DWORD cancelId = 0;
        HRESULT *errors = nullptr;
        ASSERT_EQ(S_OK, async->Read(1, &handleA, 1000, &cancelId, &errors));
        CoTaskMemFree(errors);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(entered, kArrival));
    }

    DWORD QueueRead(OPCHANDLE handle, DWORD transactionId)
    {
        DWORD cancelId = 0;
        HRESULT *errors = nullptr;
        EXPECT_EQ(S_OK, async->Read(1, &handle, transactionId, &cancelId, &errors));
        CoTaskMemFree(errors);
        return cancelId;
    }

    ComPtr<IOPCServer> server;
    ComPtr<IOPCItemMgt> group;
    ComPtr<IOPCAsyncIO3> async;
    OPCHANDLE handleA = 0;
    OPCHANDLE handleB = 0;
    ComPtr<DataCallbackRecorder> sink;
    std::atomic<bool> holdNext{true};
    HANDLE entered = nullptr;
    HANDLE release = nullptr;
};

std::vector<DWORD> Transactions(const std::vector<CallbackRecord> &records)
{
    std::vector<DWORD> ids;
    for (const CallbackRecord &record : records)
        ids.push_back(record.transactionId);
    return ids;
}

} // namespace

TEST_F(RequestQueue, TwoHundredFiftyFiveRequestsWaitAndTheNextIsRefused)
{
    HoldWorker();
    for (DWORD i = 0; i < 255; ++i)
        ASSERT_EQ(2 + i, QueueRead(handleA, 2000 + i));

    DWORD cancelId = 77;
    HRESULT *errors = reinterpret_cast<HRESULT *>(1);
    EXPECT_EQ(E_FAIL, async->Read(1, &handleA, 9999, &cancelId, &errors));
    EXPECT_EQ(0u, cancelId);
    EXPECT_EQ(nullptr, errors);
    DWORD refreshId = 0;
    EXPECT_EQ(E_FAIL, async->Refresh2(OPC_DS_CACHE, 9998, &refreshId));

    SetEvent(release);
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kReadComplete, 256, kArrival));
    std::vector<DWORD> expected = {1000};
    for (DWORD i = 0; i < 255; ++i)
        expected.push_back(2000 + i);
    EXPECT_EQ(expected, Transactions(sink->Records(CallbackKind::kReadComplete)));
    EXPECT_EQ(0u, sink->Count(CallbackKind::kDataChange));

    // The refused ones took no cancel ID.
    EXPECT_EQ(257u, QueueRead(handleA, 3000));
}

TEST_F(RequestQueue, CancelledRequestIsSkippedAndReportedWithOnCancelComplete)
{
    HoldWorker();
    const unsigned pendingWrites = SvrData().WriteToDec().Pending();
    const DWORD read2 = QueueRead(handleA, 2);
    const DWORD read3 = QueueRead(handleB, 3);
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = 44;
    DWORD write4 = 0;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, async->Write(1, &handleA, &value, 4, &write4, &errors));
    CoTaskMemFree(errors);

    EXPECT_EQ(S_OK, async->Cancel2(read3));
    EXPECT_EQ(S_OK, async->Cancel2(write4));
    EXPECT_EQ(E_FAIL, async->Cancel2(1)); // running, not waiting
    EXPECT_EQ(E_FAIL, async->Cancel2(99));
    (void)read2;

    SetEvent(release);
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kCancelComplete, 2, kArrival));
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kReadComplete, 2, kArrival));
    std::vector<CallbackRecord> records = sink->Records();
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ(CallbackKind::kReadComplete, records[0].kind);
    EXPECT_EQ(1000u, records[0].transactionId);
    EXPECT_EQ(CallbackKind::kReadComplete, records[1].kind);
    EXPECT_EQ(2u, records[1].transactionId);
    EXPECT_EQ(CallbackKind::kCancelComplete, records[2].kind);
    EXPECT_EQ(3u, records[2].transactionId);
    EXPECT_EQ(kClientGroup, records[2].clientGroup);
    EXPECT_EQ(CallbackKind::kCancelComplete, records[3].kind);
    EXPECT_EQ(4u, records[3].transactionId);
    // The cancelled write never went to the host's queue.
    EXPECT_EQ(pendingWrites, SvrData().WriteToDec().Pending());
    EXPECT_EQ(0u, sink->Count(CallbackKind::kWriteComplete));
}

TEST_F(RequestQueue, ReadOfAnItemRemovedMeanwhileReportsItInvalid)
{
    HoldWorker();
    OPCHANDLE both[2] = {handleA, handleB};
    DWORD cancelId = 0;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, async->Read(2, both, 20, &cancelId, &errors));
    CoTaskMemFree(errors);
    ASSERT_EQ(S_OK, group->RemoveItems(1, &handleB, &errors));
    CoTaskMemFree(errors);

    SetEvent(release);
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kReadComplete, 2, kArrival));
    const CallbackRecord read = sink->Records(CallbackKind::kReadComplete)[1];
    EXPECT_EQ(20u, read.transactionId);
    ASSERT_EQ(2u, read.items.size());
    EXPECT_EQ(1u, read.items[0].clientHandle);
    EXPECT_EQ("1", read.items[0].value);
    EXPECT_EQ(S_OK, read.items[0].error);
    EXPECT_EQ(0u, read.items[1].clientHandle);
    EXPECT_EQ(VT_EMPTY, read.items[1].type);
    EXPECT_EQ(0u, read.items[1].quality);
    EXPECT_EQ(0u, read.items[1].timestamp.dwLowDateTime | read.items[1].timestamp.dwHighDateTime);
    EXPECT_EQ(OPC_E_INVALIDHANDLE, read.items[1].error);
    EXPECT_EQ(S_FALSE, read.masterError);
    EXPECT_EQ(S_FALSE, read.masterQuality);
}

// While the worker is inside a callback, the server and the group answer
// other calls: their locks are not held during callbacks.
TEST_F(RequestQueue, ServerAndGroupAnswerWhileACallbackIsInProgress)
{
    HoldWorker();
    HANDLE answered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HRESULT statusResult = E_PENDING, stateResult = E_PENDING, refreshResult = E_PENDING;
    std::thread caller([&] {
        OPCSERVERSTATUS *status = nullptr;
        statusResult = server->GetStatus(&status);
        if (status != nullptr) {
            CoTaskMemFree(status->szVendorInfo);
            CoTaskMemFree(status);
        }
        ComPtr<IOPCGroupStateMgt> state = Query<IOPCGroupStateMgt>(group.Get(), IID_IOPCGroupStateMgt);
        DWORD rate = 0;
        stateResult = state->GetState(&rate, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr);
        DWORD id = 0;
        refreshResult = async->Refresh2(OPC_DS_CACHE, 5, &id);
        SetEvent(answered);
    });
    const DWORD waited = WaitForSingleObject(answered, kArrival);
    SetEvent(release);
    caller.join();
    CloseHandle(answered);
    EXPECT_EQ(WAIT_OBJECT_0, waited);
    EXPECT_EQ(S_OK, statusResult);
    EXPECT_EQ(S_OK, stateResult);
    EXPECT_EQ(S_OK, refreshResult);
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kDataChange, 1, kArrival));
}

// Two setter calls within the same millisecond still give two changes:
// a scan that saw the first would otherwise miss the second.
TEST(ChangeStamp, EverySetterCallMovesTheStampEvenWithinOneTick)
{
    ItemInfo info;
    ZeroMemory(&info, sizeof(info));
    lstrcpynA(info.itemId, "Queue.A", sizeof(info.itemId));
    ASSERT_TRUE(SvrData().LookupItem(info));
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = 1;
    DWORD previous = 0;
    ASSERT_TRUE(SvrData().GetChangeStamp(info.handle, &previous));
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(DAKORA_OK, dakora_setval("Queue.A", &v, 192, 0, 0));
        DWORD stamp = 0;
        ASSERT_TRUE(SvrData().GetChangeStamp(info.handle, &stamp));
        ASSERT_NE(previous, stamp) << "call " << i;
        ASSERT_NE(0u, stamp);
        previous = stamp;
    }
}

// A client may drop its last references from inside a callback: the server
// object goes away without waiting for the callback that is still running.
TEST_F(RequestQueue, LastReleaseInsideACallbackDoesNotHang)
{
    HANDLE released = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    holdNext = false;
    sink->SetReadCompleteHook([this, released] {
        async.Reset();
        group.Reset();
        server.Reset();
        SetEvent(released);
    });
    DWORD cancelId = 0;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, async->Read(1, &handleA, 7, &cancelId, &errors));
    CoTaskMemFree(errors);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(released, kArrival));
    CloseHandle(released);
}
