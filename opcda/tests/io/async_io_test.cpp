// Asynchronous reads, writes and refreshes of a group (IOPCAsyncIO2,
// IOPCAsyncIO3), called through COM on a host in another process, with the
// completions arriving at an IOPCDataCallback sink of this process: the
// client's transaction ID comes back, only the group's items are taken,
// cancel IDs count from 1 per group, writes report OnWriteComplete and reach
// the host, and the old IOPCAsyncIO is not offered.
#include "data_callback_recorder.h"
#include "hosted_server.h"
#include "opc_errors.h"
#include "value_format.h"

#include <olectl.h>

#include <gtest/gtest.h>

#include <atomic>

using namespace iotest;

namespace {

const OPCHANDLE kClientGroup = 42;

class AsyncIo : public HostedServer {
protected:
    void SetUp() override
    {
        HostedServer::SetUp();
        if (HasFatalFailure())
            return;
        group = AddGroup(1000, kClientGroup);
        handles = AddItems(group.Get(), {"Area.Pump.Speed", "Plant.Temp", "Area.Valve", "Host.Never"},
                           {1, 3, 5, 6});
        async = Query<IOPCAsyncIO3>(group.Get(), IID_IOPCAsyncIO3);
        ASSERT_TRUE(async);
        sink = DataCallbackRecorder::Create();
        ASSERT_EQ(S_OK, AdviseDataCallback(group.Get(), sink.Get(), &cookie));
    }

    void TearDown() override
    {
        async.Reset();
        group.Reset();
        HostedServer::TearDown();
    }

    // The completions of one kind carrying this transaction ID.
    std::vector<CallbackRecord> Completions(CallbackKind kind, DWORD transactionId)
    {
        std::vector<CallbackRecord> selected;
        for (const CallbackRecord &record : sink->Records(kind)) {
            if (record.transactionId == transactionId)
                selected.push_back(record);
        }
        return selected;
    }

    bool WaitForCompletion(CallbackKind kind, DWORD transactionId)
    {
        return testhost::WaitFor([&] { return !Completions(kind, transactionId).empty(); },
                                 kArrival);
    }

    ComPtr<IOPCItemMgt> group;
    std::vector<OPCHANDLE> handles; // Speed, Temp, Valve, Never
    ComPtr<IOPCAsyncIO3> async;
    ComPtr<DataCallbackRecorder> sink;
    DWORD cookie = 0;
};

} // namespace

// Reads

TEST_F(AsyncIo, ReadTakesOnlyTheGroupsItemsAndReportsThemWithTheTransactionId)
{
    const OPCHANDLE flow = TagHandle("Area.Pump.Flow"); // a tag, but not in this group
    ASSERT_NE(0u, flow);
    OPCHANDLE which[3] = {handles[0], flow, handles[1]};
    DWORD cancelId = 0;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_FALSE, async->Read(3, which, 0x1234, &cancelId, &errors));
    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[1]);
    EXPECT_EQ(S_OK, errors[2]);
    CoTaskMemFree(errors);

    ASSERT_TRUE(WaitForCompletion(CallbackKind::kReadComplete, 0x1234));
    std::vector<CallbackRecord> reads = Completions(CallbackKind::kReadComplete, 0x1234);
    ASSERT_EQ(1u, reads.size());
    const CallbackRecord &read = reads[0];
    EXPECT_EQ(kClientGroup, read.clientGroup);
    EXPECT_EQ(S_OK, read.masterQuality);
    EXPECT_EQ(S_OK, read.masterError);
    ASSERT_EQ(2u, read.count);
    ASSERT_EQ(2u, read.items.size());
    EXPECT_EQ(1u, read.items[0].clientHandle);
    EXPECT_EQ(VT_I4, read.items[0].type);
    EXPECT_EQ("1450", read.items[0].value);
    EXPECT_EQ(192u, read.items[0].quality);
    EXPECT_NE(0u, FileTimeValue(read.items[0].timestamp));
    EXPECT_EQ(S_OK, read.items[0].error);
    EXPECT_EQ(3u, read.items[1].clientHandle);
    EXPECT_EQ("21.5", read.items[1].value);
}

TEST_F(AsyncIo, ReadOfABadQualityItemReportsMasterQualitySFalse)
{
    OPCHANDLE which[2] = {handles[0], handles[3]}; // Never: bad quality
    DWORD cancelId = 0;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, async->Read(2, which, 77, &cancelId, &errors));
    CoTaskMemFree(errors);
    ASSERT_TRUE(WaitForCompletion(CallbackKind::kReadComplete, 77));
    const CallbackRecord read = Completions(CallbackKind::kReadComplete, 77)[0];
    EXPECT_EQ(S_FALSE, read.masterQuality);
    EXPECT_EQ(S_OK, read.masterError);
    ASSERT_EQ(2u, read.items.size());
    EXPECT_EQ(VT_EMPTY, read.items[1].type);
    EXPECT_EQ(0x20u, read.items[1].quality); // bad, waiting for initial data
}

TEST_F(AsyncIo, ReadOfNoValidItemStillCompletesWithCountZero)
{
    OPCHANDLE which[1] = {0xBAD0BAD};
    DWORD cancelId = 0;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_FALSE, async->Read(1, which, 78, &cancelId, &errors));
    EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[0]);
    EXPECT_NE(0u, cancelId);
    CoTaskMemFree(errors);
    ASSERT_TRUE(WaitForCompletion(CallbackKind::kReadComplete, 78));
    EXPECT_EQ(0u, Completions(CallbackKind::kReadComplete, 78)[0].count);
}

TEST_F(AsyncIo, ReadMaxAgeCompletesLikeRead)
{
    OPCHANDLE which[2] = {handles[1], handles[0]};
    DWORD maxAge[2] = {0, 0xFFFFFFFF};
    DWORD cancelId = 0;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, async->ReadMaxAge(2, which, maxAge, 79, &cancelId, &errors));
    CoTaskMemFree(errors);
    ASSERT_TRUE(WaitForCompletion(CallbackKind::kReadComplete, 79));
    const CallbackRecord read = Completions(CallbackKind::kReadComplete, 79)[0];
    ASSERT_EQ(2u, read.items.size());
    EXPECT_EQ(3u, read.items[0].clientHandle);
    EXPECT_EQ("21.5", read.items[0].value);
    EXPECT_EQ(1u, read.items[1].clientHandle);
    EXPECT_EQ("1450", read.items[1].value);
}

// A sink may call the server from inside its callback: the callbacks are
// made without the server's locks held.
TEST_F(AsyncIo, SinkMayCallTheGroupFromInsideItsCallback)
{
    ComPtr<IOPCSyncIO> syncIo = Query<IOPCSyncIO>(group.Get(), IID_IOPCSyncIO);
    ASSERT_TRUE(syncIo);
    std::atomic<HRESULT> nestedResult(E_PENDING);
    const OPCHANDLE speed = handles[0];
    sink->SetReadCompleteHook([&] {
        OPCHANDLE h = speed;
        OPCITEMSTATE *states = nullptr;
        HRESULT *errors = nullptr;
        HRESULT hr = syncIo->Read(OPC_DS_CACHE, 1, &h, &states, &errors);
        if (SUCCEEDED(hr)) {
            VariantClear(&states[0].vDataValue);
            CoTaskMemFree(states);
            CoTaskMemFree(errors);
        }
        nestedResult = hr;
    });
    DWORD cancelId = 0;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, async->Read(1, &handles[0], 80, &cancelId, &errors));
    CoTaskMemFree(errors);
    EXPECT_TRUE(WaitForCompletion(CallbackKind::kReadComplete, 80));
    EXPECT_EQ(S_OK, nestedResult.load());
    sink->SetReadCompleteHook(nullptr);
}

// Refreshes

TEST_F(AsyncIo, Refresh2ReportsEveryItemThroughOnDataChange)
{
    DWORD cancelId = 0;
    ASSERT_EQ(S_OK, async->Refresh2(OPC_DS_CACHE, 501, &cancelId));
    ASSERT_TRUE(WaitForCompletion(CallbackKind::kDataChange, 501));
    std::vector<CallbackRecord> refreshes = Completions(CallbackKind::kDataChange, 501);
    ASSERT_EQ(1u, refreshes.size());
    const CallbackRecord &refresh = refreshes[0];
    EXPECT_EQ(kClientGroup, refresh.clientGroup);
    EXPECT_EQ(4u, refresh.count);
    ASSERT_NE(nullptr, refresh.Find(1));
    EXPECT_EQ("1450", refresh.Find(1)->value);
    ASSERT_NE(nullptr, refresh.Find(3));
    EXPECT_EQ("21.5", refresh.Find(3)->value);
    ASSERT_NE(nullptr, refresh.Find(5));
    EXPECT_EQ("true", refresh.Find(5)->value);
    ASSERT_NE(nullptr, refresh.Find(6));
    EXPECT_EQ(VT_EMPTY, refresh.Find(6)->type);
    // The never-set item has quality 0.
    EXPECT_EQ(S_FALSE, refresh.masterQuality);
    EXPECT_EQ(S_OK, refresh.masterError);
}

TEST_F(AsyncIo, RefreshMaxAgeReportsEveryItemThroughOnDataChange)
{
    DWORD cancelId = 0;
    ASSERT_EQ(S_OK, async->RefreshMaxAge(0xFFFFFFFF, 502, &cancelId));
    ASSERT_TRUE(WaitForCompletion(CallbackKind::kDataChange, 502));
    EXPECT_EQ(4u, Completions(CallbackKind::kDataChange, 502)[0].count);
}

TEST_F(AsyncIo, Refresh2OfAGroupWithoutItemsReportsCountZero)
{
    ComPtr<IOPCItemMgt> empty = AddGroup(1000, 43);
    ComPtr<IOPCAsyncIO2> emptyIo = Query<IOPCAsyncIO2>(empty.Get(), IID_IOPCAsyncIO2);
    ASSERT_TRUE(emptyIo);
    ComPtr<DataCallbackRecorder> emptySink = DataCallbackRecorder::Create();
    DWORD emptyCookie = 0;
    ASSERT_EQ(S_OK, AdviseDataCallback(empty.Get(), emptySink.Get(), &emptyCookie));
    DWORD cancelId = 0;
    ASSERT_EQ(S_OK, emptyIo->Refresh2(OPC_DS_DEVICE, 503, &cancelId));
    ASSERT_TRUE(emptySink->WaitForCount(CallbackKind::kDataChange, 1, kArrival));
    const CallbackRecord refresh = emptySink->Records()[0];
    EXPECT_EQ(503u, refresh.transactionId);
    EXPECT_EQ(43u, refresh.clientGroup);
    EXPECT_EQ(0u, refresh.count);
}

// A refresh reports the values but leaves changes for the next scan; a
// refresh of an inactive group has nothing to report and is refused.
TEST_F(AsyncIo, RefreshLeavesChangesToTheNextScan)
{
    OPCHANDLE serverGroup = 0;
    ComPtr<IOPCItemMgt> idle = AddGroup(200, 44, FALSE, &serverGroup);
    AddItems(idle.Get(), {"Area.Pump.Speed"}, {1});
    ComPtr<IOPCAsyncIO2> idleIo = Query<IOPCAsyncIO2>(idle.Get(), IID_IOPCAsyncIO2);
    ASSERT_TRUE(idleIo);
    ComPtr<DataCallbackRecorder> idleSink = DataCallbackRecorder::Create();
    DWORD idleCookie = 0;
    ASSERT_EQ(S_OK, AdviseDataCallback(idle.Get(), idleSink.Get(), &idleCookie));
    DWORD cancelId = 0;
    EXPECT_EQ(E_FAIL, idleIo->Refresh2(OPC_DS_CACHE, 504, &cancelId));

    // Active but disabled: no scans, refreshes all the same.
    ComPtr<IOPCGroupStateMgt> state = Query<IOPCGroupStateMgt>(idle.Get(), IID_IOPCGroupStateMgt);
    ASSERT_TRUE(state);
    ASSERT_EQ(S_OK, idleIo->SetEnable(FALSE));
    BOOL active = TRUE;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, state->SetState(nullptr, &revised, &active, nullptr, nullptr, nullptr, nullptr));
    ASSERT_EQ(S_OK, idleIo->Refresh2(OPC_DS_CACHE, 505, &cancelId));
    ASSERT_TRUE(idleSink->WaitForCount(CallbackKind::kDataChange, 1, kArrival));
    EXPECT_EQ(505u, idleSink->Records()[0].transactionId);

    ASSERT_EQ(S_OK, idleIo->SetEnable(TRUE));
    ASSERT_TRUE(idleSink->WaitForCount(CallbackKind::kDataChange, 2, kArrival));
    const CallbackRecord scan = idleSink->Records()[1];
    EXPECT_EQ(0u, scan.transactionId);
    ASSERT_NE(nullptr, scan.Find(1));
    EXPECT_EQ("1450", scan.Find(1)->value);
}

// Writes

TEST_F(AsyncIo, WriteReportsOnWriteCompleteWithPerItemResultsAndReachesTheHost)
{
    VARIANT values[2];
    std::string error;
    ASSERT_TRUE(ParseValue("i4", "1555", &values[0], &error));
    ASSERT_TRUE(ParseValue("bool", "false", &values[1], &error));
    OPCHANDLE which[2] = {handles[0], handles[2]}; // Speed, Valve (read-only)
    const ULONGLONG before = NowValue();
    DWORD cancelId = 0;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, async->Write(2, which, values, 300, &cancelId, &errors));
    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(S_OK, errors[1]);
    CoTaskMemFree(errors);
    // The request carries its own copies.
    VariantClear(&values[0]);
    VariantClear(&values[1]);

    ASSERT_TRUE(WaitForCompletion(CallbackKind::kWriteComplete, 300));
    const CallbackRecord written = Completions(CallbackKind::kWriteComplete, 300)[0];
    EXPECT_EQ(kClientGroup, written.clientGroup);
    EXPECT_EQ(S_FALSE, written.masterError);
    ASSERT_EQ(2u, written.items.size());
    EXPECT_EQ(1u, written.items[0].clientHandle);
    EXPECT_EQ(S_OK, written.items[0].error);
    EXPECT_EQ(5u, written.items[1].clientHandle);
    EXPECT_EQ(OPC_E_BADRIGHTS, written.items[1].error);

    std::vector<HostWrite> writes = WaitForHostWrites(1, kArrival);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ("Area.Pump.Speed", writes[0].itemId);
    EXPECT_EQ("1555", writes[0].value);
    EXPECT_EQ(192u, writes[0].quality);
    EXPECT_GE(writes[0].time + kSecond, before);
    EXPECT_LE(writes[0].time, NowValue() + kSecond);
}

// A quality or time stamp to write is not supported: the completion says
// so for the item, and nothing reaches the host.
TEST_F(AsyncIo, WriteVqtWithQualityAndTimeCompletesAsNotSupported)
{
    const ULONGLONG stamp = 0x01D5C1A2B3C4D5E6ULL;
    OPCITEMVQT vqt;
    ZeroMemory(&vqt, sizeof(vqt));
    V_VT(&vqt.vDataValue) = VT_R4;
    V_R4(&vqt.vDataValue) = 30.25f;
    vqt.bQualitySpecified = TRUE;
    vqt.wQuality = 0x54;
    vqt.bTimeStampSpecified = TRUE;
    vqt.ftTimeStamp = MakeFileTime(stamp);
    DWORD cancelId = 0;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, async->WriteVQT(1, &handles[1], &vqt, 301, &cancelId, &errors));
    CoTaskMemFree(errors);
    ASSERT_TRUE(WaitForCompletion(CallbackKind::kWriteComplete, 301));
    const CallbackRecord written = Completions(CallbackKind::kWriteComplete, 301)[0];
    EXPECT_EQ(S_FALSE, written.masterError);
    ASSERT_EQ(1u, written.items.size());
    EXPECT_EQ(3u, written.items[0].clientHandle);
    EXPECT_EQ(OPC_E_NOTSUPPORTED, written.items[0].error);
    EXPECT_TRUE(WaitForHostWrites(1, 1000).empty());
}

// Cancel IDs and cancelling

TEST_F(AsyncIo, CancelIdsOfAGroupCountFromOneWhateverTheKind)
{
    ComPtr<IOPCItemMgt> fresh = AddGroup(1000, 45);
    std::vector<OPCHANDLE> h = AddItems(fresh.Get(), {"Area.Pump.Speed"}, {1});
    ComPtr<IOPCAsyncIO3> freshIo = Query<IOPCAsyncIO3>(fresh.Get(), IID_IOPCAsyncIO3);
    ASSERT_TRUE(freshIo);
    ComPtr<DataCallbackRecorder> freshSink = DataCallbackRecorder::Create();
    DWORD freshCookie = 0;
    ASSERT_EQ(S_OK, AdviseDataCallback(fresh.Get(), freshSink.Get(), &freshCookie));

    DWORD ids[4] = {0, 0, 0, 0};
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, freshIo->Read(1, h.data(), 1, &ids[0], &errors));
    CoTaskMemFree(errors);
    ASSERT_EQ(S_OK, freshIo->Refresh2(OPC_DS_CACHE, 2, &ids[1]));
    VARIANT value;
    std::string error;
    ASSERT_TRUE(ParseValue("i4", "9", &value, &error));
    ASSERT_EQ(S_OK, freshIo->Write(1, h.data(), &value, 3, &ids[2], &errors));
    CoTaskMemFree(errors);
    DWORD maxAge = 0;
    ASSERT_EQ(S_OK, freshIo->ReadMaxAge(1, h.data(), &maxAge, 4, &ids[3], &errors));
    CoTaskMemFree(errors);
    EXPECT_EQ(1u, ids[0]);
    EXPECT_EQ(2u, ids[1]);
    EXPECT_EQ(3u, ids[2]);
    EXPECT_EQ(4u, ids[3]);
}

TEST_F(AsyncIo, Cancel2OfAFinishedOrUnknownRequestFails)
{
    DWORD cancelId = 0;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_OK, async->Read(1, &handles[0], 600, &cancelId, &errors));
    CoTaskMemFree(errors);
    ASSERT_TRUE(WaitForCompletion(CallbackKind::kReadComplete, 600));
    EXPECT_EQ(E_FAIL, async->Cancel2(cancelId));
    EXPECT_EQ(E_FAIL, async->Cancel2(cancelId + 1000));
    EXPECT_EQ(0u, sink->Count(CallbackKind::kCancelComplete));
}

// Argument checks and what is not offered

TEST_F(AsyncIo, ZeroCountIsInvalid)
{
    DWORD cancelId = 0;
    HRESULT *errors = nullptr;
    VARIANT value;
    VariantInit(&value);
    DWORD maxAge = 0;
    OPCITEMVQT vqt;
    ZeroMemory(&vqt, sizeof(vqt));
    EXPECT_EQ(E_INVALIDARG, async->Read(0, &handles[0], 1, &cancelId, &errors));
    EXPECT_EQ(E_INVALIDARG, async->Write(0, &handles[0], &value, 1, &cancelId, &errors));
    EXPECT_EQ(E_INVALIDARG, async->ReadMaxAge(0, &handles[0], &maxAge, 1, &cancelId, &errors));
    EXPECT_EQ(E_INVALIDARG, async->WriteVQT(0, &handles[0], &vqt, 1, &cancelId, &errors));
}

TEST_F(AsyncIo, RequestsWithoutACallbackConnectionAreRefused)
{
    ASSERT_EQ(S_OK, UnadviseDataCallback(group.Get(), cookie));
    DWORD cancelId = 0;
    HRESULT *errors = nullptr;
    VARIANT value;
    std::string error;
    ASSERT_TRUE(ParseValue("i4", "9", &value, &error));
    DWORD maxAge = 0;
    OPCITEMVQT vqt;
    ZeroMemory(&vqt, sizeof(vqt));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, async->Read(1, &handles[0], 1, &cancelId, &errors));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, async->Write(1, &handles[0], &value, 1, &cancelId, &errors));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, async->Refresh2(OPC_DS_CACHE, 1, &cancelId));
    EXPECT_EQ(CONNECT_E_NOCONNECTION,
              async->ReadMaxAge(1, &handles[0], &maxAge, 1, &cancelId, &errors));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, async->WriteVQT(1, &handles[0], &vqt, 1, &cancelId, &errors));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, async->RefreshMaxAge(0, 1, &cancelId));
    // Nothing was queued: the first request accepted gets cancel ID 1.
    DWORD id = 0;
    ComPtr<DataCallbackRecorder> again = DataCallbackRecorder::Create();
    ASSERT_EQ(S_OK, AdviseDataCallback(group.Get(), again.Get(), &id));
    ASSERT_EQ(S_OK, async->Read(1, &handles[0], 7, &cancelId, &errors));
    CoTaskMemFree(errors);
    EXPECT_EQ(1u, cancelId);
}

TEST_F(AsyncIo, EnableFlagIsKeptPerGroup)
{
    BOOL enabled = FALSE;
    ASSERT_EQ(S_OK, async->GetEnable(&enabled));
    EXPECT_TRUE(enabled);
    ASSERT_EQ(S_OK, async->SetEnable(FALSE));
    ASSERT_EQ(S_OK, async->GetEnable(&enabled));
    EXPECT_FALSE(enabled);
    ASSERT_EQ(S_OK, async->SetEnable(TRUE));
    ASSERT_EQ(S_OK, async->GetEnable(&enabled));
    EXPECT_TRUE(enabled);
}

// The OPC DA 1.0 interface completes through IDataObject advises: without
// one it takes nothing (its completions are tested with the streams).
TEST_F(AsyncIo, OldAsyncIoNeedsAnAdvise)
{
    HRESULT hr = E_FAIL;
    ComPtr<IOPCAsyncIO> old = Query<IOPCAsyncIO>(group.Get(), IID_IOPCAsyncIO, &hr);
    ASSERT_EQ(S_OK, hr);
    DWORD transaction = 0;
    HRESULT *errors = nullptr;
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, old->Read(1, OPC_DS_CACHE, 1, &handles[0], &transaction, &errors));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, old->Write(1, 1, &handles[0], &value, &transaction, &errors));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, old->Refresh(1, OPC_DS_CACHE, &transaction));
    EXPECT_EQ(E_FAIL, old->Cancel(1));
}
