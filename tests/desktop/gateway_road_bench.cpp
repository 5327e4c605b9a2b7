// gateway_road_bench - the whole road under load, measured: the stand-in
// platform with a large plant (--plant-size), Lumaret.exe polling every
// variable once a second, Tessiva.exe started by COM, and one client
// subscribed to every item at 200 ms. Prints the values delivered per
// second, the CPU share of Lumaret and Tessiva, Tessiva's memory per
// variable, and the latency from a value change at the platform to the
// client's callback (median and p99). Prints figures; asserts nothing.
//   gateway_road_bench <variables> [seconds]
// Needs the stand-in's ready file plant.json in LUMARET_PLATFORM_DIR and
// the desktop tests' display session (scripts/bench.sh sets both up).
#include "host_process_cpu.h"
#include "lumaret_run.h"
#include "manager.h"
#include "standin_platform.h"
#include "test_host_control.h"
#include "wait_until.h"

#include "opc_interfaces.h"
#include "value_format.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

long long FileTimeValue(const FILETIME &time)
{
    return static_cast<long long>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

const CLSID kBridgeClassId = {0x6E2B91D4, 0x3C7A, 0x4F15, {0x9B, 0x08, 0xD2, 0xA4, 0x5C, 0x17, 0xE3, 0xF9}};

double NowMs()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Counts what arrives and notes when a watched item reports a given value.
class CBenchSink final : public IOPCDataCallback {
public:
    explicit CBenchSink(std::size_t items) : m_good(items + 1, false) {}

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCDataCallback)) {
            *ppv = static_cast<IOPCDataCallback *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_refs); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--m_refs); }

    STDMETHODIMP OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD count, OPCHANDLE *handles, VARIANT *values,
                              WORD *qualities, FILETIME *times, HRESULT *) override
    {
        const double arrival = NowMs();
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ++m_reports;
        m_values += count;
        std::lock_guard<std::mutex> guard(m_lock);
        for (DWORD i = 0; i < count; ++i) {
            const OPCHANDLE handle = handles[i];
            if (handle < m_good.size() && qualities[i] == 0xC0 && !m_good[handle]) {
                m_good[handle] = true;
                ++m_goodItems;
            }
            if (handle == m_watchHandle && V_VT(&values[i]) == VT_UI4 && V_UI4(&values[i]) == m_watchValue &&
                m_watchArrival == 0) {
                m_watchArrival = arrival;
                // The value's time stamp is the poll reply's arrival at the gateway.
                m_watchPipeline = static_cast<double>(FileTimeValue(now) - FileTimeValue(times[i])) / 10000.0;
            }
        }
        return S_OK;
    }
    STDMETHODIMP OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE *, VARIANT *, WORD *,
                                FILETIME *, HRESULT *) override
    {
        return S_OK;
    }
    STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE *, HRESULT *) override { return S_OK; }
    STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }

    void Watch(OPCHANDLE handle, ULONG value)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_watchHandle = handle;
        m_watchValue = value;
        m_watchArrival = 0;
    }
    double WatchArrival()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_watchArrival;
    }
    // From the poll reply that carried the watched value to its callback.
    double WatchPipeline()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_watchPipeline;
    }
    std::size_t GoodItems()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_goodItems;
    }
    unsigned long long Values() const { return m_values.load(); }
    unsigned long long Reports() const { return m_reports.load(); }

private:
    std::atomic<LONG> m_refs{1};
    std::atomic<unsigned long long> m_values{0};
    std::atomic<unsigned long long> m_reports{0};
    std::mutex m_lock;
    std::vector<bool> m_good;
    std::size_t m_goodItems = 0;
    OPCHANDLE m_watchHandle = 0;
    ULONG m_watchValue = 0;
    double m_watchArrival = 0;
    double m_watchPipeline = 0;
};

DWORD FindProcessId(const char *name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    DWORD id = 0;
    for (BOOL more = Process32First(snapshot, &entry); more && id == 0; more = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, name) == 0)
            id = entry.th32ProcessID;
    CloseHandle(snapshot);
    return id;
}

double WorkingSetBytes(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    return process != nullptr && GetProcessMemoryInfo(process, &counters, sizeof(counters))
               ? static_cast<double>(counters.WorkingSetSize)
               : 0;
}

double Percentile(std::vector<double> samples, double share)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const std::size_t index = static_cast<std::size_t>(share * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[std::min(index, samples.size() - 1)];
}


int Fail(const char *what)
{
    std::printf("road bench: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    const int variables = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CStandinPlatform platform("plant");
    if (!platform.IsReady())
        return Fail(platform.Problem().c_str());
    if (!testhost::RegisterAll())
        return Fail("cannot register the proxy/stub");

    // An installation whose operator selected every variable of the plant.
    CLumaretRun run("road_bench_" + std::to_string(variables));
    run.PrepareForPlatform(platform.Port());
    std::string output;
    const std::string setup = "\"" + testhost::BinPath("lumaret_demo_setup.exe") + "\" \"" + run.Dir() + "\" 127.0.0.1 " +
                              std::to_string(platform.Port()) + " plant plant123 P1006 " + std::to_string(variables);
    if (testhost::RunCommandLine(setup, &output, 600000) != 0)
        return Fail(("demo setup failed: " + output.substr(0, 400)).c_str());
    if (testhost::RunCommandLine("\"" + run.File("Tessiva.exe") + "\" -reg", &output) != 0)
        return Fail("bridge registration failed");
    std::vector<std::string> itemIds;
    std::vector<std::string> keys;
    {
        CManager saved;
        if (!saved.LoadFrom(run.ProjectFilePath()))
            return Fail("no project file");
        saved.RebuildIndex();
        for (const auto &entry : saved.keyIndex) {
            keys.push_back(entry.first);
            itemIds.push_back(entry.second->itemId);
        }
    }
    std::printf("road bench: %zu variables selected\n", itemIds.size());
    if (!run.Start() || !run.WaitForMainWindow(120000))
        return Fail("Lumaret did not come up");

    // The client: every item in one group at 200 ms.
    IOPCServer *server = nullptr;
    if (FAILED(CoCreateInstance(kBridgeClassId, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer,
                                reinterpret_cast<void **>(&server))))
        return Fail("no server");
    IOPCItemMgt *group = nullptr;
    OPCHANDLE serverGroup = 0;
    DWORD revised = 0;
    if (FAILED(server->AddGroup(L"bench", TRUE, 200, 1, nullptr, nullptr, 0, &serverGroup, &revised, IID_IOPCItemMgt,
                                reinterpret_cast<LPUNKNOWN *>(&group))))
        return Fail("no group");
    std::vector<std::wstring> names;
    for (const std::string &id : itemIds)
        names.push_back(Widen(id));
    std::vector<OPCITEMDEF> defs(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        defs[i] = OPCITEMDEF();
        defs[i].szAccessPath = const_cast<LPWSTR>(L"");
        defs[i].szItemID = const_cast<LPWSTR>(names[i].c_str());
        defs[i].bActive = TRUE;
        defs[i].hClient = static_cast<OPCHANDLE>(i + 1);
    }
    // The items appear with the gateway's first snapshot.
    bool added = false;
    const double addStart = NowMs();
    while (!added && NowMs() - addStart < 120000) {
        OPCITEMRESULT *results = nullptr;
        HRESULT *errors = nullptr;
        const HRESULT hr = group->AddItems(static_cast<DWORD>(defs.size()), defs.data(), &results, &errors);
        added = hr == S_OK;
        if (SUCCEEDED(hr) && !added) {
            // Some still unknown: remove what was added and try again.
            std::vector<OPCHANDLE> handles;
            for (std::size_t i = 0; i < defs.size(); ++i)
                if (errors[i] == S_OK)
                    handles.push_back(results[i].hServer);
            HRESULT *removeErrors = nullptr;
            if (!handles.empty() &&
                SUCCEEDED(group->RemoveItems(static_cast<DWORD>(handles.size()), handles.data(), &removeErrors)))
                CoTaskMemFree(removeErrors);
        }
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
        if (!added)
            Sleep(500);
    }
    if (!added)
        return Fail("the items did not appear");
    CBenchSink sink(itemIds.size());
    IConnectionPointContainer *container = nullptr;
    IConnectionPoint *point = nullptr;
    DWORD cookie = 0;
    if (FAILED(group->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(&container))) ||
        FAILED(container->FindConnectionPoint(IID_IOPCDataCallback, &point)) || FAILED(point->Advise(&sink, &cookie)))
        return Fail("no subscription");
    if (!WaitUntil([&] { return sink.GoodItems() == itemIds.size(); }, 180000, 200))
        std::printf("road bench: only %zu of %zu items good after three minutes\n", sink.GoodItems(), itemIds.size());

    HANDLE tessiva = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, FindProcessId("Tessiva.exe"));
    const std::string lumaretProgram = run.File("Lumaret.exe");
    const std::string tessivaProgram = run.File("Tessiva.exe");
    const double start = NowMs();
    const double lumaretStart = HostProcessCpuMs(lumaretProgram);
    const double tessivaStart = HostProcessCpuMs(tessivaProgram);
    const unsigned long long valuesStart = sink.Values();
    const unsigned long long reportsStart = sink.Reports();

    // Latency samples: a value held at the platform at a moment unrelated
    // to the poll cycle, until the callback that carries it.
    std::vector<double> latencies;
    std::vector<double> pipelines;
    unsigned sample = 0;
    while (NowMs() - start < seconds * 1000.0) {
        const std::size_t index = (sample * 7919u) % keys.size();
        const ULONG value = 3000000000u + sample;
        sink.Watch(static_cast<OPCHANDLE>(index + 1), value);
        const double held = NowMs();
        if (!platform.Control("{\"hold\": {\"" + keys[index] + "\": " + std::to_string(value) + "}}"))
            return Fail("platform control failed");
        const double heldAt = (held + NowMs()) / 2;
        if (WaitUntil([&] { return sink.WatchArrival() != 0; }, 10000, 5)) {
            latencies.push_back(sink.WatchArrival() - heldAt);
            pipelines.push_back(sink.WatchPipeline());
        }
        platform.Control("{\"release\": [\"" + keys[index] + "\"]}");
        ++sample;
        Sleep(137 + (sample * 211) % 600);
    }
    const double elapsed = (NowMs() - start) / 1000.0;
    const double lumaretCpu = (HostProcessCpuMs(lumaretProgram) - lumaretStart) / (elapsed * 10.0);
    const double tessivaCpu = (HostProcessCpuMs(tessivaProgram) - tessivaStart) / (elapsed * 10.0);
    const double perVariable = WorkingSetBytes(tessiva) / static_cast<double>(itemIds.size());

    // What the platform itself spends on one value query.
    std::vector<double> queryMs;
    for (const Json::Value &request : platform.Requests("queryVariantValueById"))
        queryMs.push_back(request["duration_ms"].asDouble());

    std::printf("road bench, %zu variables, %d s, polling 1 s, group 200 ms:\n", itemIds.size(), seconds);
    std::printf("  delivered %.0f values/s in %.2f reports/s\n",
                static_cast<double>(sink.Values() - valuesStart) / elapsed,
                static_cast<double>(sink.Reports() - reportsStart) / elapsed);
    std::printf("  platform change -> callback: median %.0f ms, p99 %.0f ms over %zu changes\n",
                Percentile(latencies, 0.5), Percentile(latencies, 0.99), latencies.size());
    std::printf("  of that, poll reply at the gateway -> callback: median %.0f ms, p99 %.0f ms\n",
                Percentile(pipelines, 0.5), Percentile(pipelines, 0.99));
    std::printf("  CPU: Lumaret %.1f %%, Tessiva %.1f %% of one core; Tessiva %.0f bytes resident per variable\n",
                lumaretCpu, tessivaCpu, perVariable);
    std::printf("  the stand-in platform took %.0f ms (median) to answer one value query\n",
                Percentile(queryMs, 0.5));

    point->Unadvise(cookie);
    point->Release();
    container->Release();
    group->Release();
    server->Release();
    CloseHandle(tessiva);
    run.Kill();
    CoUninitialize();
    return 0;
}
