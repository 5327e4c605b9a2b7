// gateway_road_test.cpp - the whole road, every part real: the stand-in
// platform, Lumaret.exe polling it, Tessiva.exe started by COM for the
// test's OPC client, and that client subscribed out of process. What the
// client sees must tell the truth: the quality and time stamp of each value
// when the gateway is killed, when the platform cannot be reached, before
// anything was polled, and when the client comes before the gateway; writes
// must arrive exactly and in order or be refused, and a write the platform
// refuses must show in the log and the status bar; a submit must tell the
// client before its server goes away.
#include "desktop_test_env.h"
#include "bridge_shutdown.h"
#include "manager.h"

#include "data_callback_recorder.h"
#include "opc_errors.h"
#include "shutdown_recorder.h"
#include "test_host_control.h"
#include "value_format.h"

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>

namespace {

using iotest::CallbackKind;
using iotest::CallbackRecord;
using iotest::ComPtr;
using iotest::DataCallbackRecorder;

const CLSID kBridgeClassId = {0x6E2B91D4, 0x3C7A, 0x4F15, {0x9B, 0x08, 0xD2, 0xA4, 0x5C, 0x17, 0xE3, 0xF9}};

// Variables of the demo account's PLC-1, as the operator selected them.
struct RoadVariable {
    const char *id;
    const char *name;
    const char *type;
};
using RoadVariables = std::vector<RoadVariable>;
const RoadVariables kRoadVariables = {
    {"V30003", "cycles_u8", "uint8"},     // +1 every second
    {"V30009", "temperature", "float32"}, // sine
    {"V30015", "setpoint", "float32"},    // fixed, writable
};
// One writable variable of every type.
const RoadVariables kWriteVariables = {
    {"V30001", "running", "bool"},       {"V30002", "level_i8", "int8"},       {"V30003", "cycles_u8", "uint8"},
    {"V30004", "offset_i16", "int16"},   {"V30005", "batches_u16", "uint16"},  {"V30006", "events_i32", "int32"},
    {"V30007", "pulses_u32", "uint32"},  {"V30008", "total_long", "long"},     {"V30009", "temperature", "float32"},
    {"V30010", "pressure", "double"},    {"V30014", "status_text", "string"},
};
const char kGroupName[] = "Demo Plant.PLC-1";

std::string ItemIdOf(const RoadVariable &variable)
{
    return std::string(kGroupName) + "." + variable.name;
}

std::uint64_t FileTimeValue(const FILETIME &time)
{
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::uint64_t UtcNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FileTimeValue(now);
}

const std::uint64_t kMillisecond = 10000;

// The stand-in's request log times ("%Y-%m-%d %H:%M:%S.mmm", local time) as
// UTC FILETIME values.
std::uint64_t LogTimeValue(const std::string &text)
{
    SYSTEMTIME local = {};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%d", &year, &month, &day, &hour, &minute, &second,
                    &millisecond) < 6)
        return 0;
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(minute);
    local.wSecond = static_cast<WORD>(second);
    local.wMilliseconds = static_cast<WORD>(millisecond);
    SYSTEMTIME utc = {};
    FILETIME result = {};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &result))
        return 0;
    return FileTimeValue(result);
}

// An OPC client of the bridge: one group at 200 ms over the given
// variables' items, client handle i + 1 for variables[i], every callback
// recorded.
class CRoadClient {
public:
    explicit CRoadClient(const RoadVariables &variables = kRoadVariables) : m_variables(variables) {}

    HRESULT Create()
    {
        return CoCreateInstance(kBridgeClassId, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, m_server.OutVoid());
    }

    OPCSERVERSTATE State()
    {
        OPCSERVERSTATUS *status = nullptr;
        if (!m_server || FAILED(m_server->GetStatus(&status)) || status == nullptr)
            return OPC_STATUS_FAILED;
        const OPCSERVERSTATE state = status->dwServerState;
        CoTaskMemFree(status->szVendorInfo);
        CoTaskMemFree(status);
        return state;
    }

    // Creates the server if needed, then the group once every item is known
    // (the items appear with the gateway's first snapshot).
    bool Subscribe(DWORD waitMs = 60000)
    {
        if (!m_server && FAILED(Create()))
            return false;
        if (!WaitUntil([this] { return AllItemsKnown(); }, waitMs, 250))
            return false;
        OPCHANDLE group = 0;
        DWORD revised = 0;
        if (FAILED(m_server->AddGroup(L"road", TRUE, 200, 1, nullptr, nullptr, 0, &group, &revised, IID_IOPCItemMgt,
                                      reinterpret_cast<LPUNKNOWN *>(m_items.Out()))))
            return false;
        std::vector<std::wstring> names;
        for (const RoadVariable &variable : m_variables)
            names.push_back(Widen(ItemIdOf(variable)));
        std::vector<OPCITEMDEF> defs(names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            defs[i] = OPCITEMDEF();
            defs[i].szAccessPath = const_cast<LPWSTR>(L"");
            defs[i].szItemID = const_cast<LPWSTR>(names[i].c_str());
            defs[i].bActive = TRUE;
            defs[i].hClient = static_cast<OPCHANDLE>(i + 1);
        }
        OPCITEMRESULT *results = nullptr;
        HRESULT *errors = nullptr;
        if (m_items->AddItems(static_cast<DWORD>(defs.size()), defs.data(), &results, &errors) != S_OK)
            return false;
        for (std::size_t i = 0; i < defs.size(); ++i)
            m_serverHandles[m_variables[i].name] = results[i].hServer;
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
        m_sink = DataCallbackRecorder::Create();
        return SUCCEEDED(iotest::AdviseDataCallback(m_items.Get(), m_sink.Get(), &m_cookie));
    }

    // A synchronous write of one variable: the item's error.
    HRESULT Write(const std::string &name, const VARIANT &value)
    {
        iotest::ComPtr<IOPCSyncIO> io = iotest::Query<IOPCSyncIO>(m_items.Get(), IID_IOPCSyncIO);
        if (!io || m_serverHandles.count(name) == 0)
            return E_FAIL;
        OPCHANDLE handle = m_serverHandles[name];
        VARIANT copy;
        VariantInit(&copy);
        VariantCopy(&copy, const_cast<VARIANT *>(&value));
        HRESULT *errors = nullptr;
        HRESULT hr = io->Write(1, &handle, &copy, &errors);
        VariantClear(&copy);
        if (FAILED(hr))
            return hr;
        hr = errors[0];
        CoTaskMemFree(errors);
        return hr;
    }

    IOPCServer *Server() const { return m_server.Get(); }

    void Release()
    {
        m_sink.Reset();
        m_items.Reset();
        m_server.Reset();
    }

    // Every data change reported so far, item by item, in order.
    std::vector<iotest::ItemReport> Reports(OPCHANDLE clientHandle) const
    {
        std::vector<iotest::ItemReport> reports;
        if (!m_sink)
            return reports;
        for (const CallbackRecord &record : m_sink->Records(CallbackKind::kDataChange))
            if (const iotest::ItemReport *item = record.Find(clientHandle))
                reports.push_back(*item);
        return reports;
    }
    std::size_t ReportCount() const { return m_sink ? m_sink->Count(CallbackKind::kDataChange) : 0; }

    // The latest report of every item satisfies the predicate.
    bool Latest(const std::function<bool(const iotest::ItemReport &)> &predicate) const
    {
        for (std::size_t i = 0; i < m_variables.size(); ++i) {
            const std::vector<iotest::ItemReport> reports = Reports(static_cast<OPCHANDLE>(i + 1));
            if (reports.empty() || !predicate(reports.back()))
                return false;
        }
        return true;
    }
    bool WaitForLatest(const std::function<bool(const iotest::ItemReport &)> &predicate, DWORD timeoutMs) const
    {
        return WaitUntil([&] { return Latest(predicate); }, timeoutMs);
    }

private:

    bool AllItemsKnown()
    {
        ComPtr<IOPCItemMgt> probe;
        OPCHANDLE group = 0;
        DWORD revised = 0;
        if (FAILED(m_server->AddGroup(L"", TRUE, 1000, 0, nullptr, nullptr, 0, &group, &revised, IID_IOPCItemMgt,
                                      reinterpret_cast<LPUNKNOWN *>(probe.Out()))))
            return false;
        bool known = true;
        for (const RoadVariable &variable : m_variables) {
            const std::wstring name = Widen(ItemIdOf(variable));
            OPCITEMDEF def = OPCITEMDEF();
            def.szAccessPath = const_cast<LPWSTR>(L"");
            def.szItemID = const_cast<LPWSTR>(name.c_str());
            OPCITEMRESULT *result = nullptr;
            HRESULT *error = nullptr;
            if (FAILED(probe->ValidateItems(1, &def, FALSE, &result, &error)) || error == nullptr || error[0] != S_OK)
                known = false;
            CoTaskMemFree(result);
            CoTaskMemFree(error);
        }
        probe.Reset();
        m_server->RemoveGroup(group, TRUE);
        return known;
    }

    RoadVariables m_variables;
    std::map<std::string, OPCHANDLE> m_serverHandles;
    ComPtr<IOPCServer> m_server;
    ComPtr<IOPCItemMgt> m_items;
    ComPtr<DataCallbackRecorder> m_sink;
    DWORD m_cookie = 0;
};

bool IsGood(const iotest::ItemReport &report)
{
    return report.quality == kQualityGood;
}

class Road : public DesktopTest {
protected:
    void SetUp() override
    {
        DesktopTest::SetUp();
        // The bridge calls back on threads of its own: this client lives in
        // the multithreaded apartment.
        CoUninitialize();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_TRUE(testhost::RegisterAll()); // the proxy/stub
    }
    void TearDown() override
    {
        EndProcesses("Lumaret.exe");
        EndBridgeProgram("Tessiva.exe");
        CoUninitialize();
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        DesktopTest::TearDown();
    }

    // A program directory whose project file holds the demo login and the
    // road's variables (saved values when asked), the bridge registered
    // from it, short request time-outs.
    void Prepare(CLumaretRun &run, bool savedValues = false, int port = 0,
                 const RoadVariables &variables = kRoadVariables)
    {
        run.PrepareForPlatform(port != 0 ? port : platform.Port());
        run.SetSetting("server", "ConnectTimeout", "2");
        run.SetSetting("server", "Timeout", "2");
        CManager manager;
        CProject *project = new CProject;
        project->projectId = "P1001";
        project->projectName = "Demo Plant";
        CDevice *device = project->AddDevice("D2001", "PLC-1", "SN-PLC-0001");
        for (const RoadVariable &variable : variables) {
            CVariant *record = device->AddVariant(variable.id, variable.name, variable.type);
            record->selected = true;
            if (savedValues) {
                record->value = "42";
                record->valid = true;
            }
        }
        device->hasSelected = true;
        manager.AddProject(project);
        manager.userName = "demo";
        manager.password = "demo123";
        ASSERT_TRUE(manager.SaveTo(run.ProjectFilePath()));
        std::string output;
        ASSERT_EQ(0u, testhost::RunCommandLine("\"" + run.File("Tessiva.exe") + "\" -reg", &output)) << output;
    }

    void StartGateway(CLumaretRun &run)
    {
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(run.WaitForMainWindow());
    }
};

} // namespace

// The gateway is killed while a client is subscribed: within the stale time
// every item reports the last known value, value kept, and writes are
// refused; the gateway started again polls and every item is good again.
TEST_F(Road, KilledGatewayLeavesLastKnownValuesUntilItIsBack)
{
    CLumaretRun run("road_killed");
    Prepare(run);
    StartGateway(run);
    CRoadClient client;
    ASSERT_TRUE(client.Subscribe());
    ASSERT_TRUE(client.WaitForLatest(IsGood, 30000));

    const DWORD killed = GetTickCount();
    run.Kill();
    ASSERT_TRUE(client.WaitForLatest([](const iotest::ItemReport &r) { return r.quality == kQualityLastKnown; },
                                     30000));
    const DWORD after = GetTickCount() - killed;
    std::printf("every item last known %lu ms after the gateway was killed\n", static_cast<unsigned long>(after));
    // The stale time (3 s) and the group's update, with a margin for a busy machine.
    EXPECT_LE(after, 7000u);
    EXPECT_TRUE(client.Latest([](const iotest::ItemReport &r) { return r.type != VT_EMPTY && !r.value.empty(); }))
        << "the last value is kept";
    // Nobody would carry a write out: it is refused at the client's call.
    VARIANT setpoint;
    VariantInit(&setpoint);
    V_VT(&setpoint) = VT_R4;
    V_R4(&setpoint) = 1.5f;
    EXPECT_EQ(E_FAIL, client.Write("setpoint", setpoint));

    StartGateway(run);
    EXPECT_TRUE(client.WaitForLatest(IsGood, 30000));
}

// The platform refuses connections, then answers too late: from the first
// failed query the items report the last known value within the request
// time-out plus a second; once the platform answers they are good again,
// stamped with the new replies.
TEST_F(Road, PlatformOutageIsReportedWithinTheRequestTimeOut)
{
    CLumaretRun run("road_outage");
    Prepare(run);
    StartGateway(run);
    CRoadClient client;
    ASSERT_TRUE(client.Subscribe());
    ASSERT_TRUE(client.WaitForLatest(IsGood, 30000));

    // From the fault's switch-on for refused connections (they fail at
    // once); from the first query the platform logged late for a platform
    // that answers too late.
    const struct {
        const char *what;
        const char *fault;
        bool logged;
    } outages[] = {
        {"connections refused", "{\"refuse\": {\"mode\": \"listen\", \"for\": 60}}", false},
        {"replies too late", "{\"delay\": {\"seconds\": 6, \"reqCodes\": [\"queryVariantValueById\"]}}", true},
    };
    const std::uint64_t kTimeOut = 2000 * kMillisecond; // the Timeout setting
    for (const auto &outage : outages) {
        SCOPED_TRACE(outage.what);
        ASSERT_TRUE(platform.ClearRequests());
        const std::uint64_t started = UtcNow();
        ASSERT_TRUE(platform.Control(outage.fault));
        ASSERT_TRUE(client.WaitForLatest([](const iotest::ItemReport &r) { return r.quality == kQualityLastKnown; },
                                         30000));
        const std::uint64_t reported = UtcNow();
        std::uint64_t failed = started;
        if (outage.logged) {
            failed = 0;
            for (const Json::Value &request : platform.Requests("queryVariantValueById"))
                if (failed == 0 && request["delay"].asDouble() > 0)
                    failed = LogTimeValue(request["time"].asString());
            ASSERT_NE(0u, failed) << "no late query in the request log";
        }
        const long long after = static_cast<long long>(reported - failed) / static_cast<long long>(kMillisecond);
        std::printf("%s: every item last known %lld ms after the first failed query\n", outage.what, after);
        EXPECT_LE(reported, failed + kTimeOut + 1000 * kMillisecond) << "the time-out and a second";

        ASSERT_TRUE(platform.Control("{\"refuse\": \"off\", \"delay\": \"off\"}"));
        ASSERT_TRUE(client.WaitForLatest(IsGood, 30000));
        EXPECT_TRUE(client.Latest([&](const iotest::ItemReport &r) { return FileTimeValue(r.timestamp) > started; }))
            << "fresh time stamps";
    }
}

// Values saved in the project file by an earlier run, and a platform that
// cannot be reached: no item is ever reported good, nor with a saved value.
TEST_F(Road, SavedValuesAreNeverReportedGood)
{
    CLumaretRun run("road_saved");
    Prepare(run, true, 9); // port 9: nothing listens
    StartGateway(run);
    CRoadClient client;
    ASSERT_TRUE(client.Subscribe());
    // Waiting for the first poll, then without a value ever polled.
    EXPECT_TRUE(client.WaitForLatest([](const iotest::ItemReport &r) { return r.quality == kQualityCommFailure; },
                                     30000));
    Sleep(3000);
    for (std::size_t i = 0; i < kRoadVariables.size(); ++i)
        for (const iotest::ItemReport &report : client.Reports(static_cast<OPCHANDLE>(i + 1))) {
            EXPECT_NE(kQualityGood, report.quality) << kRoadVariables[i].name;
            EXPECT_NE("42", report.value) << kRoadVariables[i].name << ": a saved value is not published";
        }
}

// A client that comes before the gateway (a SCADA started first at boot)
// gets a server at once, with no configuration yet; when the gateway starts
// its items appear in that same server and report good values.
TEST_F(Road, ClientBeforeTheGatewayGetsItsItemsWhenTheGatewayStarts)
{
    CLumaretRun run("road_client_first");
    Prepare(run);
    CRoadClient client;
    const DWORD start = GetTickCount();
    ASSERT_EQ(S_OK, client.Create());
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ(OPC_STATUS_NOCONFIG, client.State());

    StartGateway(run);
    ASSERT_TRUE(client.Subscribe());
    EXPECT_EQ(OPC_STATUS_RUNNING, client.State());
    EXPECT_TRUE(client.WaitForLatest(IsGood, 30000));
}

// The time stamp of a reported value is the time of the poll reply that
// carried it, as the platform's request log shows, not the time it was
// published or delivered: a client that connects seconds later gets the
// fixed setpoint with the time of the first reply that brought it, from
// before its server even existed.
TEST_F(Road, TimeStampIsThePollReplyThatCarriedTheValue)
{
    CLumaretRun run("road_time");
    Prepare(run);
    StartGateway(run);

    // Successful value replies with the value of a variable in each.
    const auto replies = [&](const char *variable) {
        std::vector<std::pair<std::string, std::uint64_t>> found;
        for (const Json::Value &request : platform.Requests("queryVariantValueById")) {
            const Json::Value reply = ParseJson(request["reply"].asString());
            const Json::Value &value = reply["variants"]["D2001"][variable];
            if (!value.isNull())
                found.emplace_back(value.asString(), LogTimeValue(request["time"].asString()));
        }
        return found;
    };
    // The gateway has polled the setpoint, and goes on polling a few times.
    ASSERT_TRUE(WaitUntil([&] { return replies("V30015").size() >= 6; }, 60000));
    const std::uint64_t firstReply = replies("V30015").front().second;
    const std::uint64_t connected = UtcNow();
    CRoadClient client;
    ASSERT_TRUE(client.Subscribe());
    ASSERT_TRUE(WaitUntil([&] { return client.Reports(1).size() >= 4 && !client.Reports(3).empty(); }, 30000));

    const iotest::ItemReport setpoint = client.Reports(3).front();
    ASSERT_EQ(kQualityGood, setpoint.quality);
    const std::uint64_t stamp = FileTimeValue(setpoint.timestamp);
    std::printf("setpoint stamped %+lld ms after the first reply that carried it, %lld ms before the client came\n",
                static_cast<long long>(stamp - firstReply) / static_cast<long long>(kMillisecond),
                static_cast<long long>(connected - stamp) / static_cast<long long>(kMillisecond));
    EXPECT_GE(stamp + 100 * kMillisecond, firstReply);
    EXPECT_LE(stamp, firstReply + 1000 * kMillisecond);
    EXPECT_LT(stamp + 2000 * kMillisecond, connected) << "stamped when the bridge published it, not when polled";

    // A value that changes with every reply: each report has the time of
    // the first reply that carried its value.
    std::map<std::string, std::uint64_t> replyTimes;
    for (const auto &reply : replies("V30003"))
        replyTimes.emplace(reply.first, reply.second);
    int compared = 0;
    for (const iotest::ItemReport &report : client.Reports(1)) {
        if (report.quality != kQualityGood || replyTimes.count(report.value) == 0)
            continue;
        const std::uint64_t reply = replyTimes[report.value];
        const std::uint64_t reported = FileTimeValue(report.timestamp);
        EXPECT_GE(reported + 100 * kMillisecond, reply) << report.value;
        EXPECT_LE(reported, reply + 1000 * kMillisecond) << report.value;
        ++compared;
    }
    EXPECT_GE(compared, 3);
}

namespace {

VARIANT MakeVariant(VARTYPE type, const std::function<void(VARIANT &)> &set)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    set(v);
    return v;
}

VARIANT Text(const wchar_t *text)
{
    return MakeVariant(VT_BSTR, [&](VARIANT &v) { V_BSTR(&v) = SysAllocString(text); });
}

// The value texts the platform received, oldest first, as "id=value".
std::vector<std::string> PlatformWrites(const CStandinPlatform &platform)
{
    std::vector<std::string> writes;
    for (const Json::Value &request : platform.Requests("writeVariantById"))
        writes.push_back(request["fields"]["id"].asString() + "=" + request["fields"]["value"].asString());
    return writes;
}

} // namespace

// Writes of every type, through the client, the bridge, the gateway and on
// to the platform: each arrives as the exact text of the value written,
// converted to the item's type where the client wrote another one.
TEST_F(Road, ClientWritesReachThePlatformExactly)
{
    CLumaretRun run("road_writes");
    Prepare(run, false, 0, kWriteVariables);
    StartGateway(run);
    CRoadClient client(kWriteVariables);
    ASSERT_TRUE(client.Subscribe());

    const struct {
        const char *name;
        const char *id;
        VARIANT value;
        const char *expected; // UTF-8
    } writes[] = {
        {"level_i8", "V30002", MakeVariant(VT_I1, [](VARIANT &v) { V_I1(&v) = -128; }), "-128"},
        {"level_i8", "V30002", MakeVariant(VT_I4, [](VARIANT &v) { V_I4(&v) = 127; }), "127"},
        {"cycles_u8", "V30003", MakeVariant(VT_UI1, [](VARIANT &v) { V_UI1(&v) = 255; }), "255"},
        {"offset_i16", "V30004", MakeVariant(VT_I2, [](VARIANT &v) { V_I2(&v) = -32768; }), "-32768"},
        {"batches_u16", "V30005", MakeVariant(VT_UI2, [](VARIANT &v) { V_UI2(&v) = 65535; }), "65535"},
        {"events_i32", "V30006", MakeVariant(VT_I4, [](VARIANT &v) { V_I4(&v) = -2147483647 - 1; }), "-2147483648"},
        {"events_i32", "V30006", Text(L"42"), "42"},
        {"pulses_u32", "V30007", MakeVariant(VT_UI4, [](VARIANT &v) { V_UI4(&v) = 4294967295u; }), "4294967295"},
        {"total_long", "V30008", MakeVariant(VT_I8, [](VARIANT &v) { V_I8(&v) = -9223372036854775807LL - 1; }),
         "-9223372036854775808"},
        {"total_long", "V30008", MakeVariant(VT_UI8, [](VARIANT &v) { V_UI8(&v) = 9223372036854775807ULL; }),
         "9223372036854775807"},
        {"temperature", "V30009", MakeVariant(VT_R4, [](VARIANT &v) { V_R4(&v) = 1.25e-7f; }), "0.000000125"},
        {"temperature", "V30009", MakeVariant(VT_R8, [](VARIANT &v) { V_R8(&v) = 0.1; }), "0.1"},
        {"pressure", "V30010", MakeVariant(VT_R8, [](VARIANT &v) { V_R8(&v) = 1.25e-7; }), "0.000000125"},
        {"pressure", "V30010", MakeVariant(VT_R8, [](VARIANT &v) { V_R8(&v) = 123456789.125; }), "123456789.125"},
        {"pressure", "V30010", MakeVariant(VT_R8, [](VARIANT &v) { V_R8(&v) = -0.0; }), "-0"},
        {"running", "V30001", MakeVariant(VT_BOOL, [](VARIANT &v) { V_BOOL(&v) = VARIANT_TRUE; }), "1"},
        {"running", "V30001", MakeVariant(VT_BOOL, [](VARIANT &v) { V_BOOL(&v) = VARIANT_FALSE; }), "0"},
        {"status_text", "V30014", Text(L"\u8FD0\u884C\u4E2D \u505C\u673A"), u8"运行中 停机"},
    };
    std::vector<std::string> expected;
    for (const auto &write : writes) {
        EXPECT_EQ(S_OK, client.Write(write.name, write.value)) << write.name << " " << write.expected;
        expected.push_back(std::string("D2001:") + write.id + "=" + write.expected);
        VARIANT value = write.value;
        VariantClear(&value);
    }
    ASSERT_TRUE(WaitUntil([&] { return PlatformWrites(platform).size() >= expected.size(); }, 30000));
    EXPECT_EQ(expected, PlatformWrites(platform));
}

// Writes that cannot be carried out exactly come back to the client as an
// OPC error, per item, and nothing reaches the platform.
TEST_F(Road, WritesThatCannotBeExactAreRefused)
{
    CLumaretRun run("road_refused");
    Prepare(run, false, 0, kWriteVariables);
    StartGateway(run);
    CRoadClient client(kWriteVariables);
    ASSERT_TRUE(client.Subscribe());

    SAFEARRAY *array = SafeArrayCreateVector(VT_I4, 0, 2);
    const struct {
        const char *name;
        VARIANT value;
        HRESULT expected;
    } refusals[] = {
        {"events_i32", Text(L"abc"), OPC_E_BADTYPE},
        {"cycles_u8", MakeVariant(VT_I4, [](VARIANT &v) { V_I4(&v) = 300; }), OPC_E_RANGE},
        {"events_i32", MakeVariant(VT_ARRAY | VT_I4, [&](VARIANT &v) { V_ARRAY(&v) = array; }), OPC_E_BADTYPE},
        {"status_text", Text(std::wstring(300, L'x').c_str()), OPC_E_RANGE},
        // No exponent in a value text: 1e300 needs 301 digits, more than a frame holds.
        {"pressure", MakeVariant(VT_R8, [](VARIANT &v) { V_R8(&v) = 1e300; }), OPC_E_RANGE},
    };
    for (const auto &refusal : refusals) {
        EXPECT_EQ(refusal.expected, client.Write(refusal.name, refusal.value)) << refusal.name;
        VARIANT value = refusal.value;
        VariantClear(&value);
    }
    // A good write afterwards is the only one that arrives.
    VARIANT good = MakeVariant(VT_I4, [](VARIANT &v) { V_I4(&v) = 7; });
    EXPECT_EQ(S_OK, client.Write("events_i32", good));
    ASSERT_TRUE(WaitUntil([&] { return !PlatformWrites(platform).empty(); }, 30000));
    Sleep(1000);
    EXPECT_EQ(std::vector<std::string>{"D2001:V30006=7"}, PlatformWrites(platform));
}

// A 1-then-0 pulse train written as fast as a client can: the platform
// receives every write, in exactly the order written.
TEST_F(Road, WritesArriveInTheOrderWritten)
{
    CLumaretRun run("road_order");
    Prepare(run, false, 0, kWriteVariables);
    StartGateway(run);
    CRoadClient client(kWriteVariables);
    ASSERT_TRUE(client.Subscribe());

    const int kWrites = 200;
    std::vector<std::string> expected;
    const DWORD start = GetTickCount();
    for (int i = 0; i < kWrites; ++i) {
        VARIANT value = MakeVariant(VT_BOOL, [&](VARIANT &v) { V_BOOL(&v) = i % 2 == 0 ? VARIANT_TRUE : VARIANT_FALSE; });
        ASSERT_EQ(S_OK, client.Write("running", value)) << i;
        expected.push_back(i % 2 == 0 ? "D2001:V30001=1" : "D2001:V30001=0");
    }
    ASSERT_TRUE(WaitUntil([&] { return PlatformWrites(platform).size() >= expected.size(); }, 60000));
    std::printf("%d writes at the platform %lu ms after the first was made\n", kWrites,
                static_cast<unsigned long>(GetTickCount() - start));
    EXPECT_EQ(expected, PlatformWrites(platform));
}

// The platform refuses a client's write: the log has the line with the
// platform's reason, and the status bar shows the failure, which the
// polling texts do not replace at once; it gives way to them later.
TEST_F(Road, RefusedPlatformWriteIsLoggedAndShown)
{
    CLumaretRun run("road_write_refused");
    Prepare(run);
    run.SetSetting("local", "LogEnabled", "1");
    StartGateway(run);
    CRoadClient client;
    ASSERT_TRUE(client.Subscribe());
    ASSERT_TRUE(client.WaitForLatest(IsGood, 30000));

    // "设备离线，无法写入", as the platform sends it (UTF-8 in JSON).
    ASSERT_TRUE(platform.Canned("writeVariantById",
                                "{\"success\":false,\"msg\":\"\\u8bbe\\u5907\\u79bb\\u7ebf\\uff0c"
                                "\\u65e0\\u6cd5\\u5199\\u5165\"}"));
    VARIANT value = MakeVariant(VT_R4, [](VARIANT &v) { V_R4(&v) = 1.5f; });
    ASSERT_EQ(S_OK, client.Write("setpoint", value));

    const std::string shown = "变量写入失败：Demo Plant.PLC-1.setpoint（设备离线，无法写入）";
    const auto showsFailure = [&] { return run.StatusBarText().find(shown) != std::string::npos; };
    ASSERT_TRUE(WaitUntil(showsFailure, 30000)) << run.StatusBarText();
    const std::string logLine = "write Demo Plant.PLC-1.setpoint = 1.5: refused by the platform: 设备离线，无法写入";
    EXPECT_TRUE(WaitUntil([&] { return ReadFileBytes(run.File("Lumaret.log")).find(logLine) != std::string::npos; }))
        << ReadFileBytes(run.File("Lumaret.log"));

    // Polling goes on meanwhile, and the failure stays in view.
    const std::size_t polled = platform.Requests("queryVariantValueById").size();
    ASSERT_TRUE(WaitUntil([&] { return platform.Requests("queryVariantValueById").size() >= polled + 3; }, 30000));
    EXPECT_TRUE(showsFailure()) << run.StatusBarText();
    EXPECT_TRUE(WaitUntil([&] { return run.StatusBarText().find("正在查询变量值") != std::string::npos; }, 30000))
        << run.StatusBarText();
}

namespace {

HANDLE OpenBridgeProcess()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    HANDLE found = nullptr;
    for (BOOL more = Process32First(snapshot, &entry); more && found == nullptr; more = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, "Tessiva.exe") == 0)
            found = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    CloseHandle(snapshot);
    return found;
}

} // namespace

// Submit in the window while a client is connected: the client is told by
// ShutdownRequest while the bridge still runs, the bridge then ends, and a
// client that connects again gets the submitted selection with good values.
TEST_F(Road, SubmitTellsTheClientsBeforeTheBridgeGoes)
{
    CLumaretRun run("road_submit");
    Prepare(run);
    StartGateway(run);
    CRoadClient client;
    ASSERT_TRUE(client.Subscribe());
    ASSERT_TRUE(client.WaitForLatest(IsGood, 30000));
    HANDLE bridge = OpenBridgeProcess();
    ASSERT_NE(nullptr, bridge);
    iotest::ShutdownRecorder *notices = new iotest::ShutdownRecorder;
    std::atomic<bool> runningAtNotice{false};
    notices->SetHook([&] { runningAtNotice = WaitForSingleObject(bridge, 0) == WAIT_TIMEOUT; });
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, iotest::AdviseShutdown(client.Server(), notices, &cookie));

    // The device's variables in the list, then the toolbar's submit.
    const std::vector<gui::TreeItem> items = gui::TreeItems(run.Tree());
    const auto device = std::find_if(items.begin(), items.end(),
                                     [](const gui::TreeItem &item) { return item.text.rfind("PLC-1", 0) == 0; });
    ASSERT_NE(items.end(), device);
    ASSERT_TRUE(gui::SelectTreeItem(run.Tree(), device->handle));
    ASSERT_TRUE(WaitUntil([&] { return gui::ListCount(run.List()) == static_cast<int>(kRoadVariables.size()); }));
    gui::Click(run.ToolbarControl(lumaret::kSubmit));
    ExpectMessage(run, "设置成功!");

    EXPECT_TRUE(WaitUntil([&] { return !notices->Reasons().empty(); }, 15000)) << "no ShutdownRequest";
    EXPECT_TRUE(runningAtNotice) << "the notice must come before the server goes away";
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(bridge, 15000));
    CloseHandle(bridge);
    client.Release();
    notices->Release();

    CRoadClient again;
    ASSERT_TRUE(again.Subscribe());
    EXPECT_TRUE(again.WaitForLatest(IsGood, 30000));
}
