// Tessiva.exe between a gateway and an OPC client, all real: the test
// publishes variables in the shared segment as the gateway does, COM starts
// Tessiva for the test's OPC client, values and their changes reach the
// client, client writes arrive as frames on the gateway's port 8787, and
// Tessiva ends with the last client, or when the gateway asks it to end
// (its clients are told first).
#include "bridge_shutdown.h"
#include "frame_listener.h"
#include "opc_errors.h"
#include "segment_test_peers.h"
#include "shutdown_recorder.h"
#include "test_host_control.h"
#include "value_format.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <boost/archive/binary_oarchive.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

const CLSID kBridgeClassId = {0x6E2B91D4, 0x3C7A, 0x4F15, {0x9B, 0x08, 0xD2, 0xA4, 0x5C, 0x17, 0xE3, 0xF9}};
const unsigned short kGatewayPort = 8787;

// Poll replies of the records: a FILETIME in 2025.
const std::uint64_t kReplyTime = 0x01DB6A0000000000ULL;

CVariant Record(const std::string &itemId, const std::string &type, int code,
                const std::string &value, bool valid)
{
    CVariant r = MakeRecord("D1:" + itemId, value, valid, itemId);
    r.typeName = type;
    r.typeCode = static_cast<std::int8_t>(code);
    r.timestamp = kReplyTime;
    return r;
}

std::vector<CVariant> Selection(const std::string &speed, bool flagValid)
{
    return {Record("Plant.D1.Speed", "int32", 5, speed, true),
            Record("Plant.D1.Flag", "bool", 13, "TRUE", flagValid),
            Record("Plant.D1.Big", "long", 7, "-5000000000", true),
            Record("Plant.D1.Small", "uint8", 2, "300", true),
            Record("Plant.D1.Ratio", "float32", 9, "no number", true),
            Record("Plant.D1.Unknown", "string", 0, "x", true)};
}

HANDLE FindProcess(const char *name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    HANDLE found = nullptr;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more && found == nullptr;
         more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, name) == 0)
            found = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE,
                                entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

// Ends every running bridge the way the gateway does: asked first, so that
// it withdraws its class object (a killed one would leave it registered
// with COM under Wine, and the next client would be sent to a dead
// process), killed only when it does not answer.
void EndTessiva()
{
    for (int attempt = 0; attempt < 10 && EndBridgeProgram("Tessiva.exe", 5000); ++attempt) {
    }
}

class Tessiva : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        EndTessiva();
        ASSERT_TRUE(testhost::RegisterAll()); // the proxy/stub (and the test host)
        ASSERT_EQ(0u, testhost::RunProgram("Tessiva.exe", "-reg", nullptr));
    }
    static void TearDownTestSuite()
    {
        EndTessiva();
        testhost::RunProgram("Tessiva.exe", "-unreg", nullptr);
        testhost::UnregisterHost();
    }

    void SetUp() override
    {
        EndTessiva();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        writer.SetRecords(Selection("1450", true));
        writerThread = std::thread([this] { writer.ThreadServer(); });
    }
    void TearDown() override
    {
        writer.RequestStop();
        if (writerThread.joinable())
            writerThread.join();
        CoUninitialize();
        EndTessiva();
    }

    CScriptedServer writer;
    std::thread writerThread;
};

// An OPC client's group over the published items.
struct Client {
    IOPCServer *server = nullptr;
    IOPCItemMgt *items = nullptr;
    IOPCSyncIO *io = nullptr;
    std::map<std::string, OPCHANDLE> handles;

    ~Client()
    {
        if (io) io->Release();
        if (items) items->Release();
        if (server) server->Release();
    }

    HRESULT Create()
    {
        return CoCreateInstance(kBridgeClassId, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer,
                                reinterpret_cast<void **>(&server));
    }

    OPCSERVERSTATE State()
    {
        OPCSERVERSTATUS *status = nullptr;
        if (FAILED(server->GetStatus(&status)) || status == nullptr)
            return OPC_STATUS_FAILED;
        const OPCSERVERSTATE state = status->dwServerState;
        CoTaskMemFree(status->szVendorInfo);
        CoTaskMemFree(status);
        return state;
    }

    // The server comes up before the gateway's variables: they are items
    // once it says it runs.
    HRESULT Connect(const std::vector<std::string> &ids)
    {
        HRESULT hr = Create();
        if (FAILED(hr))
            return hr;
        if (!testhost::WaitFor([this] { return State() == OPC_STATUS_RUNNING; }, 15000))
            return E_FAIL;
        // The items are declared one after the other: wait for the first.
        if (!testhost::WaitFor([&] { return Known(ids.front()); }, 15000))
            return E_FAIL;
        Sleep(200);
        OPCHANDLE group = 0;
        DWORD rate = 0;
        hr = server->AddGroup(L"g", TRUE, 200, 1, nullptr, nullptr, 0, &group, &rate,
                              IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN *>(&items));
        if (FAILED(hr))
            return hr;
        std::vector<std::wstring> names;
        for (const std::string &id : ids)
            names.push_back(Widen(id));
        std::vector<OPCITEMDEF> defs(ids.size());
        for (size_t i = 0; i < ids.size(); ++i) {
            std::memset(&defs[i], 0, sizeof(defs[i]));
            defs[i].szAccessPath = const_cast<LPWSTR>(L"");
            defs[i].szItemID = const_cast<LPWSTR>(names[i].c_str());
            defs[i].bActive = TRUE;
            defs[i].hClient = static_cast<OPCHANDLE>(i);
        }
        OPCITEMRESULT *results = nullptr;
        HRESULT *errors = nullptr;
        hr = items->AddItems(static_cast<DWORD>(defs.size()), defs.data(), &results, &errors);
        if (FAILED(hr))
            return hr;
        for (size_t i = 0; i < ids.size(); ++i) {
            if (errors[i] == S_OK)
                handles[ids[i]] = results[i].hServer;
        }
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
        return items->QueryInterface(IID_IOPCSyncIO, reinterpret_cast<void **>(&io));
    }

    bool Known(const std::string &id)
    {
        IOPCItemMgt *probe = nullptr;
        OPCHANDLE group = 0;
        DWORD rate = 0;
        if (FAILED(server->AddGroup(L"", TRUE, 1000, 0, nullptr, nullptr, 0, &group, &rate, IID_IOPCItemMgt,
                                    reinterpret_cast<LPUNKNOWN *>(&probe))))
            return false;
        const std::wstring name = Widen(id);
        OPCITEMDEF def = {};
        def.szAccessPath = const_cast<LPWSTR>(L"");
        def.szItemID = const_cast<LPWSTR>(name.c_str());
        OPCITEMRESULT *result = nullptr;
        HRESULT *error = nullptr;
        const bool known = SUCCEEDED(probe->ValidateItems(1, &def, FALSE, &result, &error)) && error[0] == S_OK;
        CoTaskMemFree(result);
        CoTaskMemFree(error);
        probe->Release();
        server->RemoveGroup(group, TRUE);
        return known;
    }

    // "value type quality" of one item; its time stamp too when asked.
    std::string Read(const std::string &id, std::uint64_t *timestamp = nullptr)
    {
        OPCHANDLE handle = handles[id];
        OPCITEMSTATE *states = nullptr;
        HRESULT *errors = nullptr;
        if (FAILED(io->Read(OPC_DS_CACHE, 1, &handle, &states, &errors)))
            return "read failed";
        std::string text = FormatValue(states[0].vDataValue) + " " +
                           FormatType(V_VT(&states[0].vDataValue)) + " " +
                           std::to_string(states[0].wQuality);
        if (timestamp != nullptr)
            *timestamp = (static_cast<std::uint64_t>(states[0].ftTimeStamp.dwHighDateTime) << 32) |
                         states[0].ftTimeStamp.dwLowDateTime;
        VariantClear(&states[0].vDataValue);
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
        return text;
    }

    HRESULT Write(const std::string &id, const std::string &type, const std::string &text)
    {
        OPCHANDLE handle = handles[id];
        VARIANT value;
        std::string error;
        ParseValue(type, text, &value, &error);
        HRESULT *errors = nullptr;
        HRESULT hr = io->Write(1, &handle, &value, &errors);
        VariantClear(&value);
        if (SUCCEEDED(hr)) {
            hr = errors[0];
            CoTaskMemFree(errors);
        }
        return hr;
    }
};

// Runs Tessiva under a minimal debugger loop: its exit code and every text
// it sent to the debugger output.
DWORD RunTraced(const std::string &arguments, std::vector<std::string> *traces)
{
    std::string commandLine = "\"" + testhost::BinPath("Tessiva.exe") + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                        nullptr, nullptr, &si, &pi))
        return 0xFFFF;
    DWORD exitCode = 0xFFFE;
    for (bool running = true; running;) {
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, 30000))
            break;
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT: {
            const OUTPUT_DEBUG_STRING_INFO &info = event.u.DebugString;
            std::string text(info.nDebugStringLength, '\0');
            SIZE_T read = 0;
            ReadProcessMemory(pi.hProcess, info.lpDebugStringData, &text[0], text.size(), &read);
            text.resize(read);
            while (!text.empty() && text.back() == '\0')
                text.pop_back();
            traces->push_back(text);
            break;
        }
        case EXCEPTION_DEBUG_EVENT:
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                status = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case CREATE_PROCESS_DEBUG_EVENT:
            CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            CloseHandle(event.u.LoadDll.hFile);
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            exitCode = event.u.ExitProcess.dwExitCode;
            running = false;
            break;
        default:
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return exitCode;
}

bool WaitForRead(Client &client, const std::string &id, const std::string &expected)
{
    return testhost::WaitFor([&] { return client.Read(id) == expected; }, 15000);
}

} // namespace

TEST_F(Tessiva, PublishesTheSelectionAndItsChanges)
{
    Client client;
    ASSERT_EQ(S_OK, client.Connect({"Plant.D1.Speed", "Plant.D1.Flag", "Plant.D1.Big",
                                    "Plant.D1.Small", "Plant.D1.Ratio", "Plant.D1.Unknown"}));
    // A type the gateway does not know is not an item at all.
    EXPECT_EQ(5u, client.handles.size());
    EXPECT_EQ(0u, client.handles.count("Plant.D1.Unknown"));
    std::uint64_t stamp = 0;
    EXPECT_EQ("1450 VT_I4 192", client.Read("Plant.D1.Speed", &stamp));
    EXPECT_EQ(kReplyTime, stamp); // the time of the poll reply, not of the push
    EXPECT_EQ("true VT_BOOL 192", client.Read("Plant.D1.Flag"));
    EXPECT_EQ("-5000000000 VT_I8 192", client.Read("Plant.D1.Big"));
    EXPECT_EQ("44 VT_UI1 192", client.Read("Plant.D1.Small"));
    EXPECT_EQ("0 VT_R4 192", client.Read("Plant.D1.Ratio"));

    writer.SetRecords(Selection("1500", false));
    EXPECT_TRUE(WaitForRead(client, "Plant.D1.Speed", "1500 VT_I4 192"));
    EXPECT_TRUE(WaitForRead(client, "Plant.D1.Flag", "true VT_BOOL 0"));

    // The gateway logs out: an empty selection leaves every item as the
    // last known value (or without one).
    writer.SetRecords({});
    EXPECT_TRUE(WaitForRead(client, "Plant.D1.Speed", "1500 VT_I4 20"));
    EXPECT_TRUE(WaitForRead(client, "Plant.D1.Flag", "true VT_BOOL 24"));
    // The gateway still publishes, but not these items: a write would be
    // dropped there, so it is refused at the client's call.
    EXPECT_EQ(E_FAIL, client.Write("Plant.D1.Speed", "i4", "5"));
    writer.SetRecords(Selection("1600", true));
    EXPECT_TRUE(WaitForRead(client, "Plant.D1.Speed", "1600 VT_I4 192"));
    EXPECT_EQ(S_OK, client.Write("Plant.D1.Speed", "i4", "5"));
}

// The gateway stops publishing (it ended, hangs or was killed): once its
// heartbeat has stopped for the stale time every item is the last known
// value, or a comm failure when it never had one, and client writes are
// refused; when the gateway is back every item says what the snapshot says
// again, except that a value it has not polled yet stays the last known one.
TEST_F(Tessiva, ItemsTellWhenTheGatewayIsGone)
{
    std::vector<CVariant> records = Selection("1450", true);
    records[1].quality = kQualityWaiting; // Flag: not polled yet
    records[1].valid = false;
    writer.SetRecords(records);
    Client client;
    ASSERT_EQ(S_OK, client.Connect({"Plant.D1.Speed", "Plant.D1.Flag"}));
    ASSERT_TRUE(WaitForRead(client, "Plant.D1.Speed", "1450 VT_I4 192"));
    EXPECT_EQ("true VT_BOOL 32", client.Read("Plant.D1.Flag"));

    writer.RequestStop();
    writerThread.join();
    const DWORD stopped = GetTickCount();
    ASSERT_TRUE(WaitForRead(client, "Plant.D1.Speed", "1450 VT_I4 20"));
    const DWORD after = GetTickCount() - stopped;
    EXPECT_GE(after, 2500u);
    EXPECT_LE(after, 8000u);
    std::printf("items last known %lu ms after the gateway stopped\n", static_cast<unsigned long>(after));
    EXPECT_EQ("true VT_BOOL 24", client.Read("Plant.D1.Flag"));
    // Nobody would carry a write out: it is refused at the client's call.
    EXPECT_EQ(E_FAIL, client.Write("Plant.D1.Speed", "i4", "5"));

    // A gateway started again has polled nothing yet: the value the bridge
    // still holds stays the last known one, until the first poll.
    records[0].quality = kQualityWaiting;
    records[0].valid = false;
    records[0].value.clear();
    records[0].timestamp = 0;
    writer.SetRecords(records);
    writer.ClearStopRequest();
    writerThread = std::thread([this] { writer.ThreadServer(); });
    ASSERT_TRUE(WaitForRead(client, "Plant.D1.Flag", "true VT_BOOL 32"));
    EXPECT_EQ("1450 VT_I4 20", client.Read("Plant.D1.Speed"));
    writer.SetRecords(Selection("1450", true));
    EXPECT_TRUE(WaitForRead(client, "Plant.D1.Speed", "1450 VT_I4 192"));
}

// With no gateway at all a client still gets a server at once: running, no
// configuration, no items; the gateway's variables appear once it publishes.
TEST_F(Tessiva, ServerAnswersBeforeTheGatewayPublishes)
{
    writer.RequestStop();
    writerThread.join();
    writer.CloseMapping(); // no segment at all
    Client client;
    const DWORD start = GetTickCount();
    ASSERT_EQ(S_OK, client.Create());
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ(OPC_STATUS_NOCONFIG, client.State());

    writer.ClearStopRequest();
    writerThread = std::thread([this] { writer.ThreadServer(); });
    Client later;
    ASSERT_EQ(S_OK, later.Connect({"Plant.D1.Speed"}));
    EXPECT_TRUE(WaitForRead(later, "Plant.D1.Speed", "1450 VT_I4 192"));
    EXPECT_EQ(OPC_STATUS_RUNNING, client.State());
}

TEST_F(Tessiva, ClientWritesReachTheGatewayAsFrames)
{
    CFrameListener gateway(kGatewayPort);
    Client client;
    ASSERT_EQ(S_OK, client.Connect({"Plant.D1.Speed", "Plant.D1.Ratio", "Plant.D1.Flag", "Plant.D1.Small"}));
    EXPECT_EQ(S_OK, client.Write("Plant.D1.Speed", "i2", "1234"));
    EXPECT_EQ(S_OK, client.Write("Plant.D1.Ratio", "r8", "2.5"));
    EXPECT_EQ(S_OK, client.Write("Plant.D1.Flag", "bool", "true"));
    // What does not convert to the item's type never reaches the gateway.
    EXPECT_EQ(OPC_E_BADTYPE, client.Write("Plant.D1.Speed", "str", "text"));
    EXPECT_EQ(OPC_E_RANGE, client.Write("Plant.D1.Small", "r8", "300"));
    EXPECT_EQ(S_OK, client.Write("Plant.D1.Speed", "str", "-77"));
    ASSERT_TRUE(gateway.WaitForFrames(4, 20000));
    std::vector<WriteFrame> frames = gateway.Frames();
    ASSERT_EQ(4u, frames.size());
    EXPECT_EQ("Plant.D1.Speed", frames[0].itemId);
    EXPECT_EQ("1234", frames[0].value);
    EXPECT_EQ("Plant.D1.Ratio", frames[1].itemId);
    EXPECT_EQ("2.5", frames[1].value);
    EXPECT_EQ("1", frames[2].value);
    EXPECT_EQ("-77", frames[3].value);
    // A write does not change the item; only the gateway's next snapshot would.
    EXPECT_EQ("1450 VT_I4 192", client.Read("Plant.D1.Speed"));
}

TEST_F(Tessiva, WritesMadeWhileTheGatewayIsAwayArriveWhenItListens)
{
    Client client;
    ASSERT_EQ(S_OK, client.Connect({"Plant.D1.Speed"}));
    EXPECT_EQ(S_OK, client.Write("Plant.D1.Speed", "i4", "1"));
    EXPECT_EQ(S_OK, client.Write("Plant.D1.Speed", "i4", "2"));
    Sleep(1500); // within the time a queued write may wait
    CFrameListener gateway(kGatewayPort);
    ASSERT_TRUE(gateway.WaitForFrames(2, 20000));
    EXPECT_EQ("1", gateway.Frames()[0].value);
    EXPECT_EQ("2", gateway.Frames()[1].value);
}

TEST_F(Tessiva, WritesAreRefusedOnceTheGatewaysReceiverIsGone)
{
    Client client;
    ASSERT_EQ(S_OK, client.Connect({"Plant.D1.Speed"}));
    {
        CFrameListener gateway(kGatewayPort);
        ASSERT_EQ(S_OK, client.Write("Plant.D1.Speed", "i4", "1"));
        ASSERT_TRUE(gateway.WaitForFrames(1, 20000));
    }
    // The receiver is gone while the snapshot stays fresh (as when the
    // gateway has just ended): the broken connection tells the bridge, so a
    // write is refused instead of waiting in the queue for nobody.
    EXPECT_TRUE(testhost::WaitFor([&] { return client.Write("Plant.D1.Speed", "i4", "2") == E_FAIL; }, 10000));
    CFrameListener back(kGatewayPort);
    EXPECT_TRUE(testhost::WaitFor([&] { return client.Write("Plant.D1.Speed", "i4", "3") == S_OK; }, 10000));
    EXPECT_TRUE(testhost::WaitFor(
        [&] {
            const std::vector<WriteFrame> frames = back.Frames();
            return !frames.empty() && frames.back().value == "3";
        },
        20000));
}

TEST_F(Tessiva, EndsWithItsLastClient)
{
    HANDLE process = nullptr;
    {
        Client client;
        ASSERT_EQ(S_OK, client.Connect({"Plant.D1.Speed"}));
        process = FindProcess("Tessiva.exe");
        ASSERT_NE(nullptr, process);
    }
    EXPECT_EQ(0u, testhost::ExitCodeAfter(process, 15000));
    CloseHandle(process);
}

namespace {

// Writes snapshots of its own into the segment the fixture's writer made:
// a good one, or one made hostile at random - its bytes damaged, its record
// count or a text length made huge, or the header's fields (sizes,
// capacity, mapping number, generation, heartbeat, layout) set to what no
// writer writes.
class CHostileWriter {
public:
    enum class Kind { kGood, kBytes, kCount, kTextLength, kHeader, kUnreadable };
    static const int kKinds = 6;

    explicit CHostileWriter(XFileMapping &segment) : m_header(static_cast<SegmentHeader *>(segment.GetMappingAddress()))
    {
        m_mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kSegmentMutexName);
        // In each of the two archives (layout and values), the records follow
        // the archive's header and the int32 count.
        std::ostringstream empty;
        {
            boost::archive::binary_oarchive archive(empty);
        }
        m_countOffset = empty.str().size();
    }
    ~CHostileWriter()
    {
        if (m_data != nullptr)
            CloseHandle(m_data);
        if (m_mutex != nullptr)
            CloseHandle(m_mutex);
    }

    // The fixture writer's current snapshot, as the bytes to damage.
    bool TakeGoodSnapshot()
    {
        WaitForSingleObject(m_mutex, INFINITE);
        const std::string name = kSegmentDataPrefix + std::to_string(m_header->dataNumber);
        HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
        const char *view = mapping != nullptr ? static_cast<const char *>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))
                                              : nullptr;
        if (view != nullptr) {
            m_good.assign(view, m_header->dataSize);
            UnmapViewOfFile(view);
        }
        if (mapping != nullptr)
            CloseHandle(mapping);
        m_saved = *m_header;
        m_last = m_saved;
        m_topGeneration = m_saved.generation;
        ReleaseMutex(m_mutex);
        return m_good.size() > m_saved.layoutSize + m_countOffset + sizeof(std::int32_t) + m_saved.recordCount * 15 &&
               m_saved.recordCount > 0;
    }

    // A kind at random: mostly hostile, now and then good.
    Kind RandomKind() { return static_cast<Kind>(Next() % kKinds); }

    // One snapshot of the kind, announced in the header.
    void Write(Kind kind)
    {
        ++m_written[static_cast<int>(kind)];
        std::string bytes = m_good;
        switch (kind) {
        case Kind::kGood:
        case Kind::kHeader:
            break;
        case Kind::kBytes: {
            const int flips = 1 + static_cast<int>(Next() % 8);
            for (int i = 0; i < flips; ++i)
                bytes[Next() % bytes.size()] = static_cast<char>(Next());
            if (Next() % 4 == 0)
                bytes.resize(Next() % bytes.size());
            break;
        }
        case Kind::kCount: {
            // The layout's count or the values' count.
            const std::int32_t counts[] = {INT32_MAX, -1, static_cast<std::int32_t>(kSegmentMaxRecords) + 1,
                                           4000000, static_cast<std::int32_t>(Next())};
            const std::size_t at = Next() % 2 == 0 ? m_countOffset : m_saved.layoutSize + m_countOffset;
            std::memcpy(&bytes[at], &counts[Next() % 5], sizeof(std::int32_t));
            break;
        }
        case Kind::kTextLength: {
            if (Next() % 2 == 0) {
                // The first text of the layout.
                const std::size_t lengths[] = {SIZE_MAX, kSegmentMaxText + 1, bytes.size(), 0x7FFFFFF0,
                                               static_cast<std::size_t>(Next())};
                std::memcpy(&bytes[m_countOffset + sizeof(std::int32_t)], &lengths[Next() % 5], sizeof(std::size_t));
            } else {
                // A value's length, after the valid, quality and time stamp arrays.
                const std::uint32_t lengths[] = {0xFFFFFFFFu, static_cast<std::uint32_t>(kSegmentMaxText) + 1,
                                                 static_cast<std::uint32_t>(bytes.size()), Next()};
                const std::size_t records = m_saved.recordCount;
                const std::size_t at = m_saved.layoutSize + m_countOffset + sizeof(std::int32_t) + records * 11 +
                                       (Next() % records) * 4;
                std::memcpy(&bytes[at], &lengths[Next() % 4], sizeof(std::uint32_t));
            }
            break;
        }
        case Kind::kUnreadable:
            bytes.resize(m_countOffset / 2);
            break;
        }
        if (m_data != nullptr)
            CloseHandle(m_data);
        const std::uint32_t number = 40000 + m_count++;
        m_data = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kCapacity,
                                    (kSegmentDataPrefix + std::to_string(number)).c_str());
        char *view = static_cast<char *>(MapViewOfFile(m_data, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        std::memcpy(view, bytes.data(), bytes.size());
        UnmapViewOfFile(view);

        SegmentHeader header = m_saved;
        header.heartbeat = m_last.heartbeat + 1;
        // Every snapshot under a generation and a layout generation never
        // used before (so its layout is parsed too), unless the header is
        // made hostile.
        header.generation = ++m_topGeneration;
        header.layoutGeneration = m_saved.layoutGeneration + header.generation;
        header.dataNumber = number;
        header.dataCapacity = kCapacity;
        header.dataSize = static_cast<std::uint32_t>(bytes.size());
        if (kind == Kind::kHeader)
            DamageHeader(header);
        WaitForSingleObject(m_mutex, INFINITE);
        *m_header = header;
        ReleaseMutex(m_mutex);
        m_last = header;
    }

    // "good 12, bytes 80, ..." of what was written.
    std::string Written() const
    {
        static const char *const kNames[kKinds] = {"good", "damaged bytes", "hostile count", "hostile text length",
                                                   "hostile header", "unreadable"};
        std::string text;
        unsigned total = 0;
        for (int i = 0; i < kKinds; ++i) {
            text += (i == 0 ? "" : ", ") + std::to_string(m_written[i]) + " " + kNames[i];
            total += m_written[i];
        }
        return std::to_string(total) + " snapshots (" + text + ")";
    }

private:
    static const std::uint32_t kCapacity = 0x10000;

    void DamageHeader(SegmentHeader &header)
    {
        switch (Next() % 13) {
        case 0: header.dataSize = header.dataCapacity + 1 + Next() % 1000; break;
        case 1: header.dataCapacity = 0xFFFFF000u; header.dataSize = Next(); break;
        case 2: header.dataCapacity = kCapacity * 64; break;              // more than the mapping holds
        case 3: header.dataNumber = 0x7FFF0000u + Next() % 1000; break;   // no such mapping
        case 4: header.dataNumber = 0; break;
        case 5: header.recordCount = Next(); break;
        case 6: header.generation = m_last.generation; break;              // new data, old generation
        case 7: header.generation = m_last.generation - 1 - Next() % 100; break;
        case 8: header.heartbeat = m_last.heartbeat; break;
        case 9: header.magic[Next() % sizeof(header.magic)] ^= 0x5A; break;
        case 10: header.layoutSize = header.dataSize + 1 + Next() % 100; break;
        case 11: header.layoutSize = Next() % header.dataSize; break;          // the parts cut elsewhere
        default: header.pointerSize = static_cast<std::uint32_t>(Next()); header.headerSize = Next(); break;
        }
    }

    std::uint32_t Next()
    {
        m_random = m_random * 1103515245u + 12345u;
        return m_random >> 8;
    }

    SegmentHeader *m_header;
    SegmentHeader m_saved = {};
    SegmentHeader m_last = {};
    HANDLE m_mutex = nullptr;
    HANDLE m_data = nullptr;
    std::string m_good;
    std::size_t m_countOffset = 0;
    std::uint32_t m_count = 0;
    std::uint32_t m_topGeneration = 0;
    unsigned m_written[kKinds] = {};
    std::uint32_t m_random = 12345;
};

SIZE_T WorkingSet(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    return GetProcessMemoryInfo(process, &counters, sizeof(counters)) ? counters.WorkingSetSize : 0;
}

} // namespace

// A stream of hostile snapshots (LUMARET_SOAK_SECONDS long, 15 s unless
// set): the bridge stays up, keeps answering its client and its memory
// stays flat. A snapshot that holds together is taken, whatever its
// values; one that does not leaves the last records, served as values of a
// source that cannot be trusted; a good one makes every item good again.
TEST_F(Tessiva, HostileSnapshotsNeverBringTheBridgeDown)
{
    Client client;
    ASSERT_EQ(S_OK, client.Connect({"Plant.D1.Speed", "Plant.D1.Flag"}));
    ASSERT_TRUE(WaitForRead(client, "Plant.D1.Speed", "1450 VT_I4 192"));
    writer.RequestStop();
    writerThread.join(); // its objects stay, the hostile writer takes over
    CHostileWriter hostile(writer);
    ASSERT_TRUE(hostile.TakeGoodSnapshot());
    HANDLE bridge = FindProcess("Tessiva.exe");
    ASSERT_NE(nullptr, bridge);

    const char *configured = std::getenv("LUMARET_SOAK_SECONDS");
    const DWORD soakMs = 1000u * static_cast<DWORD>(configured != nullptr ? std::atoi(configured) : 15);
    const SIZE_T atStart = WorkingSet(bridge);
    const DWORD start = GetTickCount();
    SIZE_T settled = 0;
    SIZE_T largest = 0;
    std::map<std::string, unsigned> served;
    unsigned cycle = 0;
    while (GetTickCount() - start < soakMs) {
        hostile.Write(hostile.RandomKind());
        Sleep(20);
        if (++cycle % 5 == 0) {
            const std::string speed = client.Read("Plant.D1.Speed");
            ASSERT_NE("read failed", speed) << "the bridge stopped answering";
            ++served[speed];
        }
        if (settled == 0 && GetTickCount() - start > soakMs / 4)
            settled = WorkingSet(bridge);
        largest = std::max(largest, WorkingSet(bridge));
        ASSERT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(bridge, 0)) << "the bridge ended";
    }
    const SIZE_T atEnd = WorkingSet(bridge);
    std::string reads;
    unsigned readCount = 0;
    for (const auto &entry : served) {
        reads += "\n    " + std::to_string(entry.second) + " x " + entry.first;
        readCount += entry.second;
    }
    std::printf("[ SOAK     ] %lu s: %s\n[ SOAK     ] bridge working set %lu KiB at the start, %lu KiB after a "
                "quarter, at most %lu KiB, %lu KiB at the end\n[ SOAK     ] %u client reads of Plant.D1.Speed:%s\n",
                static_cast<unsigned long>(soakMs / 1000), hostile.Written().c_str(),
                static_cast<unsigned long>(atStart / 1024), static_cast<unsigned long>(settled / 1024),
                static_cast<unsigned long>(largest / 1024), static_cast<unsigned long>(atEnd / 1024), readCount,
                reads.c_str());
    EXPECT_LT(largest, settled + 16 * 1024 * 1024) << "memory grows";

    // What must hold at the end, whatever the stream left: a good snapshot
    // is served as good; an unreadable one leaves its values, no longer
    // current; the next good one makes them good again.
    hostile.Write(CHostileWriter::Kind::kGood);
    EXPECT_TRUE(WaitForRead(client, "Plant.D1.Speed", "1450 VT_I4 192"));
    EXPECT_TRUE(WaitForRead(client, "Plant.D1.Flag", "true VT_BOOL 192"));
    hostile.Write(CHostileWriter::Kind::kUnreadable);
    EXPECT_TRUE(WaitForRead(client, "Plant.D1.Speed", "1450 VT_I4 20"));
    EXPECT_TRUE(WaitForRead(client, "Plant.D1.Flag", "true VT_BOOL 20"));
    hostile.Write(CHostileWriter::Kind::kGood);
    EXPECT_TRUE(WaitForRead(client, "Plant.D1.Speed", "1450 VT_I4 192"));
    EXPECT_TRUE(WaitForRead(client, "Plant.D1.Flag", "true VT_BOOL 192"));
    CloseHandle(bridge);
}

TEST_F(Tessiva, CommandLine)
{
    // Without arguments: the first trace and nothing else, exit code 0.
    std::vector<std::string> traces;
    EXPECT_EQ(0u, RunTraced("", &traces));
    EXPECT_EQ(std::vector<std::string>({"new instance"}), traces);
    // Not a command: written in capitals, or followed by a blank. The
    // program runs as the bridge and keeps running.
    for (const char *argument : {"-REG", "-reg "}) {
        std::string commandLine = "\"" + testhost::BinPath("Tessiva.exe") + "\" " + argument;
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &pi));
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(pi.hProcess, 2000)) << argument;
        EndTessiva();
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    // Registration under the bridge's identity.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, "OPC.SERVER.1.0\\CLSID", 0, KEY_READ, &key));
    char clsid[64] = {0};
    LONG size = sizeof(clsid);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueA(HKEY_CLASSES_ROOT, "OPC.SERVER.1.0\\CLSID", clsid, &size));
    EXPECT_STREQ("{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}", clsid);
    size = sizeof(clsid);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueA(HKEY_CLASSES_ROOT, "OPC.SERVER.1.0", clsid, &size));
    EXPECT_STREQ("QNLumaret", clsid);

    // "-unreg" returns the library's codes: 0, then 1 with nothing left.
    EXPECT_EQ(0u, testhost::RunProgram("Tessiva.exe", "-unreg", nullptr));
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, "OPC.SERVER.1.0", 0, KEY_READ, &key));
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT,
                                           "CLSID\\{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}", 0,
                                           KEY_READ, &key));
    EXPECT_EQ(1u, testhost::RunProgram("Tessiva.exe", "-unreg", nullptr));
    EXPECT_EQ(0u, testhost::RunProgram("Tessiva.exe", "-reg", nullptr));
}

// The gateway's submit asks the running bridge to end: every connected
// client hears ShutdownRequest (in its server object's language) before the
// server goes away, and the bridge ends with exit code 0.
TEST_F(Tessiva, GatewayAsksTheBridgeToEndAndItsClientsAreTold)
{
    iotest::ShutdownRecorder *chinese = new iotest::ShutdownRecorder, *english = new iotest::ShutdownRecorder;
    Client first, second;
    ASSERT_EQ(S_OK, first.Connect({"Plant.D1.Speed"}));
    ASSERT_EQ(S_OK, second.Connect({"Plant.D1.Speed"}));
    IOPCCommon *common = nullptr;
    ASSERT_EQ(S_OK, second.server->QueryInterface(IID_IOPCCommon, reinterpret_cast<void **>(&common)));
    EXPECT_EQ(S_OK, common->SetLocaleID(1033));
    common->Release();
    DWORD cookies[2] = {0, 0};
    Client *clients[2] = {&first, &second};
    iotest::ShutdownRecorder *sinks[2] = {chinese, english};
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(S_OK, iotest::AdviseShutdown(clients[i]->server, sinks[i], &cookies[i]));
    HANDLE process = FindProcess("Tessiva.exe");
    ASSERT_NE(nullptr, process);

    EXPECT_TRUE(EndBridgeProgram("Tessiva.exe"));
    EXPECT_EQ(0u, testhost::ExitCodeAfter(process, 15000));
    CloseHandle(process);
    EXPECT_EQ(std::vector<std::wstring>({L"服务器即将关闭。"}), chinese->Reasons());
    EXPECT_EQ(std::vector<std::wstring>({L"The server is shutting down."}), english->Reasons());
    chinese->Release();
    english->Release();

    // The server is gone; the clients' pointers fail from now on.
    OPCSERVERSTATUS *status = nullptr;
    EXPECT_TRUE(FAILED(first.server->GetStatus(&status)));
    // Nothing running: nothing to end.
    EXPECT_FALSE(EndBridgeProgram("Tessiva.exe"));
}
