// Data-change delivery through IOPCDataCallback, across processes: the host
// pushes values (its setters, driven through its pipe) and sinks of this
// process, advised on a group's connection point, receive them at the
// group's scans. The first report after an Advise carries every active item
// (a tag never set as bad, waiting for initial data); later ones only the
// setter calls since the last report, each setter call counting (even with
// the same value). All sinks get the same report in Advise order; a group
// or item that becomes active again sends the current values of its items,
// a re-enabled group what it missed.
#include "advise_sink_recorder.h"
#include "data_callback_recorder.h"
#include "hosted_server.h"
#include "opc_errors.h"

#include <olectl.h>

#include <gtest/gtest.h>

using namespace iotest;

namespace {

const OPCHANDLE kClientGroup = 9;
const OPCHANDLE kSpeed = 1;
const OPCHANDLE kFlow = 2;
const OPCHANDLE kNever = 6;
// Long enough for several scans of a 200 ms group to pass.
const DWORD kQuietPeriod = 1500;

class DataChange : public HostedServer {
protected:
    void SetUp() override
    {
        HostedServer::SetUp();
        if (HasFatalFailure())
            return;
        group = AddGroup(200, kClientGroup, TRUE, &serverGroup);
        handles = AddItems(group.Get(), {"Area.Pump.Speed", "Area.Pump.Flow", "Host.Never"},
                           {kSpeed, kFlow, kNever});
    }

    void TearDown() override
    {
        group.Reset();
        HostedServer::TearDown();
    }

    ComPtr<DataCallbackRecorder> Subscribe(DWORD *cookie = nullptr)
    {
        ComPtr<DataCallbackRecorder> sink = DataCallbackRecorder::Create();
        DWORD c = 0;
        EXPECT_EQ(S_OK, AdviseDataCallback(group.Get(), sink.Get(), &c));
        if (cookie != nullptr)
            *cookie = c;
        return sink;
    }

    // Subscribes and waits for the first report (the values the host set
    // at its start).
    ComPtr<DataCallbackRecorder> SubscribeAndTakeFirstReport()
    {
        ComPtr<DataCallbackRecorder> sink = Subscribe();
        EXPECT_TRUE(sink->WaitForCount(CallbackKind::kDataChange, 1, kArrival));
        return sink;
    }

    void SetActive(BOOL active)
    {
        ComPtr<IOPCGroupStateMgt> state = Query<IOPCGroupStateMgt>(group.Get(), IID_IOPCGroupStateMgt);
        ASSERT_TRUE(state);
        DWORD revised = 0;
        ASSERT_EQ(S_OK, state->SetState(nullptr, &revised, &active, nullptr, nullptr, nullptr, nullptr));
    }

    void SetItemActive(OPCHANDLE serverHandle, BOOL active)
    {
        HRESULT *errors = nullptr;
        ASSERT_EQ(S_OK, group->SetActiveState(1, &serverHandle, active, &errors));
        EXPECT_EQ(S_OK, errors[0]);
        CoTaskMemFree(errors);
    }

    ComPtr<IOPCItemMgt> group;
    OPCHANDLE serverGroup = 0;
    std::vector<OPCHANDLE> handles; // Speed, Flow, Never
};

} // namespace

TEST_F(DataChange, FirstReportAfterTheAdviseCarriesEveryActiveItem)
{
    // Scans run without subscribers; the first one then gets everything.
    Sleep(kQuietPeriod);
    ComPtr<DataCallbackRecorder> sink = Subscribe();
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kDataChange, 1, kArrival));
    const CallbackRecord first = sink->Records()[0];
    EXPECT_EQ(0u, first.transactionId);
    EXPECT_EQ(kClientGroup, first.clientGroup);
    EXPECT_EQ(S_FALSE, first.masterQuality); // the never-set tag is bad
    EXPECT_EQ(S_OK, first.masterError);
    ASSERT_EQ(3u, first.count);
    ASSERT_NE(nullptr, first.Find(kSpeed));
    EXPECT_EQ(VT_I4, first.Find(kSpeed)->type);
    EXPECT_EQ("1450", first.Find(kSpeed)->value);
    EXPECT_EQ(192u, first.Find(kSpeed)->quality);
    EXPECT_NE(0u, FileTimeValue(first.Find(kSpeed)->timestamp));
    EXPECT_EQ(S_OK, first.Find(kSpeed)->error);
    ASSERT_NE(nullptr, first.Find(kFlow));
    EXPECT_EQ("12.5", first.Find(kFlow)->value);
    ASSERT_NE(nullptr, first.Find(kNever));
    EXPECT_EQ(VT_EMPTY, first.Find(kNever)->type);
    EXPECT_EQ(0x20u, first.Find(kNever)->quality); // bad, waiting for initial data
    EXPECT_EQ(S_OK, first.Find(kNever)->error);
}

TEST_F(DataChange, UnchangedTagsSendNothingAndEverySetterCallIsAChange)
{
    ComPtr<DataCallbackRecorder> sink = SubscribeAndTakeFirstReport();
    Sleep(kQuietPeriod);
    EXPECT_EQ(1u, sink->Count());

    // The same value again is a change of its own.
    ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", "1450"));
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kDataChange, 2, kArrival));
    CallbackRecord second = sink->Records()[1];
    ASSERT_EQ(1u, second.count);
    EXPECT_EQ(kSpeed, second.items[0].clientHandle);
    EXPECT_EQ("1450", second.items[0].value);

    ASSERT_TRUE(HostSet("Area.Pump.Flow", "r8", "13.25"));
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kDataChange, 3, kArrival));
    CallbackRecord third = sink->Records()[2];
    ASSERT_EQ(1u, third.count);
    EXPECT_EQ(kFlow, third.items[0].clientHandle);
    EXPECT_EQ("13.25", third.items[0].value);

    Sleep(kQuietPeriod);
    EXPECT_EQ(3u, sink->Count());
    // The never-set tag was only in the first report.
    std::vector<CallbackRecord> records = sink->Records();
    for (size_t i = 1; i < records.size(); ++i)
        EXPECT_EQ(nullptr, records[i].Find(kNever));
}

TEST_F(DataChange, QualityOnlyChangeIsReportedWithMasterQualitySFalse)
{
    ComPtr<DataCallbackRecorder> sink = SubscribeAndTakeFirstReport();
    ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", "1450", 0));
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kDataChange, 2, kArrival));
    const CallbackRecord report = sink->Records()[1];
    ASSERT_EQ(1u, report.items.size());
    EXPECT_EQ(0u, report.items[0].quality);
    EXPECT_EQ(S_FALSE, report.masterQuality);
    EXPECT_EQ(S_OK, report.masterError);
}

TEST_F(DataChange, TagSetOnlyNowIsReportedFromThenOn)
{
    ComPtr<DataCallbackRecorder> sink = SubscribeAndTakeFirstReport();
    ASSERT_TRUE(HostSet("Host.Never", "i4", "5"));
    CallbackRecord report;
    ASSERT_TRUE(sink->WaitForValue(kNever, "5", kArrival, &report));
    EXPECT_EQ(1u, report.count);
    EXPECT_EQ(192u, report.items[0].quality);
}

TEST_F(DataChange, ReportsComeNoFasterThanTheGroupsRate)
{
    ComPtr<IOPCItemMgt> slow = AddGroup(1000, 10);
    AddItems(slow.Get(), {"Area.Pump.Speed"}, {kSpeed});
    ComPtr<DataCallbackRecorder> sink = DataCallbackRecorder::Create();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, AdviseDataCallback(slow.Get(), sink.Get(), &cookie));
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kDataChange, 1, kArrival));

    // A new value every 100 ms for three seconds.
    const DWORD start = GetTickCount();
    int sets = 0;
    while (GetTickCount() - start < 3000) {
        ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", std::to_string(2000 + sets)));
        ++sets;
        Sleep(100);
    }
    const std::string last = std::to_string(2000 + sets - 1);
    ASSERT_TRUE(sink->WaitForValue(kSpeed, last, kArrival));
    const DWORD elapsed = GetTickCount() - start;
    const size_t reports = sink->Count() - 1;
    // At most one report per second (and one more for the scan grid),
    // each with the latest value at its scan: fewer reports than values.
    EXPECT_LE(reports, elapsed / 1000 + 2);
    EXPECT_GE(reports, 1u);
    EXPECT_LT(reports, static_cast<size_t>(sets));
}

TEST_F(DataChange, SeveralSinksReceiveTheSameReportsInAdviseOrder)
{
    DWORD cookies[3] = {0, 0, 0};
    ComPtr<DataCallbackRecorder> sinks[3];
    SetActive(FALSE); // all three advised before the first scan
    for (int i = 0; i < 3; ++i)
        sinks[i] = Subscribe(&cookies[i]);
    EXPECT_NE(cookies[0], cookies[1]);
    EXPECT_NE(cookies[1], cookies[2]);
    SetActive(TRUE);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(sinks[i]->WaitForCount(CallbackKind::kDataChange, 1, kArrival));

    std::vector<CallbackRecord> first[3];
    for (int i = 0; i < 3; ++i)
        first[i] = sinks[i]->Records();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(1u, first[i].size());
        ASSERT_EQ(3u, first[i][0].items.size());
        for (size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(first[0][0].items[k].clientHandle, first[i][0].items[k].clientHandle);
            EXPECT_EQ(first[0][0].items[k].value, first[i][0].items[k].value);
            EXPECT_EQ(FileTimeValue(first[0][0].items[k].timestamp),
                      FileTimeValue(first[i][0].items[k].timestamp));
        }
    }
    EXPECT_LT(first[0][0].sequence, first[1][0].sequence);
    EXPECT_LT(first[1][0].sequence, first[2][0].sequence);

    // Without the first sink, the other two go on, in their order.
    EXPECT_EQ(S_OK, UnadviseDataCallback(group.Get(), cookies[0]));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, UnadviseDataCallback(group.Get(), cookies[0]));
    ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", "1470"));
    CallbackRecord second, third;
    ASSERT_TRUE(sinks[1]->WaitForValue(kSpeed, "1470", kArrival, &second));
    ASSERT_TRUE(sinks[2]->WaitForValue(kSpeed, "1470", kArrival, &third));
    EXPECT_LT(second.sequence, third.sequence);
    // The first would have been called before the other two.
    EXPECT_EQ(1u, sinks[0]->Count());
}

TEST_F(DataChange, SinkWithoutTheDataCallbackInterfaceIsSkipped)
{
    ComPtr<AdviseSinkRecorder> wrong = AdviseSinkRecorder::Create();
    DWORD wrongCookie = 0;
    ASSERT_EQ(S_OK, AdviseDataCallback(group.Get(), wrong.Get(), &wrongCookie));
    ComPtr<DataCallbackRecorder> sink = SubscribeAndTakeFirstReport();
    ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", "1475"));
    ASSERT_TRUE(sink->WaitForValue(kSpeed, "1475", kArrival));
    EXPECT_EQ(0u, wrong->Count());
    EXPECT_EQ(S_OK, UnadviseDataCallback(group.Get(), wrongCookie));
}

TEST_F(DataChange, InactiveGroupSendsNothingAndAllItsValuesOnceActiveAgain)
{
    ComPtr<DataCallbackRecorder> sink = SubscribeAndTakeFirstReport();
    SetActive(FALSE);
    ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", "1480"));
    ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", "1481"));
    ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", "1482"));
    Sleep(kQuietPeriod);
    EXPECT_EQ(1u, sink->Count());

    SetActive(TRUE);
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kDataChange, 2, kArrival));
    Sleep(kQuietPeriod);
    std::vector<CallbackRecord> records = sink->Records();
    ASSERT_EQ(2u, records.size());
    ASSERT_EQ(3u, records[1].count);
    ASSERT_NE(nullptr, records[1].Find(kSpeed));
    EXPECT_EQ("1482", records[1].Find(kSpeed)->value);
    ASSERT_NE(nullptr, records[1].Find(kFlow));
    EXPECT_EQ("12.5", records[1].Find(kFlow)->value); // unchanged, sent all the same
}

TEST_F(DataChange, DisabledGroupSendsNothingAndReportsOnceEnabledAgain)
{
    ComPtr<DataCallbackRecorder> sink = SubscribeAndTakeFirstReport();
    ComPtr<IOPCAsyncIO2> async = Query<IOPCAsyncIO2>(group.Get(), IID_IOPCAsyncIO2);
    ASSERT_TRUE(async);
    ASSERT_EQ(S_OK, async->SetEnable(FALSE));
    ASSERT_TRUE(HostSet("Area.Pump.Flow", "r8", "14.5"));
    Sleep(kQuietPeriod);
    EXPECT_EQ(1u, sink->Count());

    ASSERT_EQ(S_OK, async->SetEnable(TRUE));
    CallbackRecord report;
    ASSERT_TRUE(sink->WaitForValue(kFlow, "14.5", kArrival, &report));
    EXPECT_EQ(1u, report.count);
}

TEST_F(DataChange, InactiveItemSendsNothingAndItsValueOnceActiveAgain)
{
    ComPtr<DataCallbackRecorder> sink = SubscribeAndTakeFirstReport();
    SetItemActive(handles[0], FALSE);
    ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", "1490"));
    ASSERT_TRUE(HostSet("Area.Pump.Flow", "r8", "15.5"));
    CallbackRecord report;
    ASSERT_TRUE(sink->WaitForValue(kFlow, "15.5", kArrival, &report));
    EXPECT_EQ(1u, report.count);
    EXPECT_EQ(nullptr, report.Find(kSpeed));
    Sleep(kQuietPeriod);
    for (const CallbackRecord &record : sink->Records())
        EXPECT_TRUE(record.Find(kSpeed) == nullptr || record.Find(kSpeed)->value == "1450");

    SetItemActive(handles[0], TRUE);
    ASSERT_TRUE(sink->WaitForValue(kSpeed, "1490", kArrival, &report));
    EXPECT_EQ(1u, report.count);

    // Activated again without a change meanwhile: the current value all
    // the same, at the next update.
    SetItemActive(handles[1], FALSE);
    Sleep(kQuietPeriod / 2);
    const size_t before = sink->Count();
    SetItemActive(handles[1], TRUE);
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kDataChange, before + 1, kArrival));
    report = sink->Records()[before];
    ASSERT_EQ(1u, report.count);
    EXPECT_EQ(kFlow, report.items[0].clientHandle);
    EXPECT_EQ("15.5", report.items[0].value);
}

TEST_F(DataChange, ClientThatNeverSubscribesGetsNoCallbacksAndLosesNothing)
{
    // The group is scanned without sinks for a while, with a change in
    // between; the first subscriber then gets the latest values.
    Sleep(kQuietPeriod / 2);
    ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", "1495"));
    Sleep(kQuietPeriod / 2);
    ComPtr<DataCallbackRecorder> sink = Subscribe();
    CallbackRecord report;
    ASSERT_TRUE(sink->WaitForValue(kSpeed, "1495", kArrival, &report));
    EXPECT_EQ(3u, report.count);
    EXPECT_EQ(1u, sink->Count());
}

// A keep-alive time: when nothing changes, empty reports come at about
// that interval.
TEST_F(DataChange, KeepAliveReportsComeWhenNothingChanges)
{
    ComPtr<IOPCGroupStateMgt2> state = Query<IOPCGroupStateMgt2>(group.Get(), IID_IOPCGroupStateMgt2);
    ASSERT_TRUE(state);
    DWORD revised = 0;
    EXPECT_EQ(OPC_S_UNSUPPORTEDRATE, state->SetKeepAlive(50, &revised));
    EXPECT_EQ(200u, revised); // the fastest rate
    ASSERT_EQ(S_OK, state->SetKeepAlive(950, &revised));
    EXPECT_EQ(950u, revised);
    DWORD keepAlive = 0;
    ASSERT_EQ(S_OK, state->GetKeepAlive(&keepAlive));
    EXPECT_EQ(950u, keepAlive);

    ComPtr<DataCallbackRecorder> sink = SubscribeAndTakeFirstReport();
    const DWORD start = GetTickCount();
    ASSERT_TRUE(sink->WaitForCount(CallbackKind::kDataChange, 3, kArrival));
    const DWORD elapsed = GetTickCount() - start;
    std::vector<CallbackRecord> records = sink->Records();
    for (size_t i = 1; i < records.size(); ++i) {
        EXPECT_EQ(0u, records[i].count);
        EXPECT_EQ(0u, records[i].transactionId);
        EXPECT_EQ(kClientGroup, records[i].clientGroup);
    }
    // Two keep-alives take at least about two intervals.
    EXPECT_GE(elapsed, 1400u);

    // Switched off: silence.
    ASSERT_EQ(S_OK, state->SetKeepAlive(0, &revised));
    EXPECT_EQ(0u, revised);
    Sleep(500);
    const size_t before = sink->Count();
    Sleep(2000);
    EXPECT_EQ(before, sink->Count());
}

// Flow is an analog item (EU range 0 to 100): with a 10 % deadband only
// changes of more than 10 units from the last reported value are sent; a
// quality change always is. The item's own deadband overrides the group's.
TEST_F(DataChange, DeadbandSuppressesSmallChangesOfAnalogItems)
{
    ComPtr<IOPCGroupStateMgt> state = Query<IOPCGroupStateMgt>(group.Get(), IID_IOPCGroupStateMgt);
    FLOAT deadband = 10.0f;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, state->SetState(nullptr, &revised, nullptr, nullptr, &deadband, nullptr, nullptr));
    ComPtr<DataCallbackRecorder> sink = SubscribeAndTakeFirstReport(); // Flow 12.5

    ASSERT_TRUE(HostSet("Area.Pump.Flow", "r8", "15"));
    ASSERT_TRUE(HostSet("Area.Pump.Flow", "r8", "19"));
    Sleep(kQuietPeriod);
    EXPECT_EQ(1u, sink->Count()); // within 10 of 12.5
    ASSERT_TRUE(HostSet("Area.Pump.Flow", "r8", "30"));
    ASSERT_TRUE(sink->WaitForValue(kFlow, "30", kArrival));
    ASSERT_TRUE(HostSet("Area.Pump.Flow", "r8", "31", 0x40));
    CallbackRecord report;
    ASSERT_TRUE(sink->WaitForValue(kFlow, "31", kArrival, &report));
    EXPECT_EQ(0x40u, report.Find(kFlow)->quality);
    // A non-analog item is not held back.
    ASSERT_TRUE(HostSet("Area.Pump.Speed", "i4", "1451"));
    ASSERT_TRUE(sink->WaitForValue(kSpeed, "1451", kArrival));

    ComPtr<IOPCItemDeadbandMgt> items = Query<IOPCItemDeadbandMgt>(group.Get(), IID_IOPCItemDeadbandMgt);
    ASSERT_TRUE(items);
    OPCHANDLE both[2] = {handles[1], handles[0]}; // Flow, Speed
    FLOAT *got = nullptr;
    HRESULT *errors = nullptr;
    ASSERT_EQ(S_FALSE, items->GetItemDeadband(2, both, &got, &errors));
    EXPECT_EQ(OPC_E_DEADBANDNOTSET, errors[0]);
    EXPECT_EQ(OPC_E_DEADBANDNOTSUPPORTED, errors[1]);
    CoTaskMemFree(got);
    CoTaskMemFree(errors);
    FLOAT one[2] = {1.0f, 1.0f};
    ASSERT_EQ(S_FALSE, items->SetItemDeadband(2, both, one, &errors));
    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(OPC_E_DEADBANDNOTSUPPORTED, errors[1]);
    CoTaskMemFree(errors);
    ASSERT_TRUE(HostSet("Area.Pump.Flow", "r8", "33", 0x40));
    ASSERT_TRUE(sink->WaitForValue(kFlow, "33", kArrival));
}
