// Data-change delivery benchmark. The test host declares N tags and sets
// every one of them each period (all of a round in one dakora_setvals, as
// the bridge publishes a snapshot); 1 or 4 out-of-process clients subscribe
// to all of them with a group at the same rate. For each configuration it
// prints the values per second offered (set by the host) and delivered (in
// all clients' OnDataChange calls), the reports per second each client got,
// and the CPU share of the host and of the clients (one process); first
// the host's CPU for the tag updates alone, last the time of one
// synchronous read of 10,000 items. And the floor under all of it: the
// same report of 100,000 items sent once a second by a bare sender (this
// program) to a sink in a child process (this program again, with
// --sink), through the same proxy/stub and nothing of the server - what
// COM's transport alone costs the sender per second, and how long one
// such call takes.
#include "child_process.h"
#include "host_process_cpu.h"
#include "test_host_control.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const DWORD kMeasureMs = 10000;
const DWORD kSettleMs = 3000; // past the first full report of every client

// Counts what arrives by the round it belongs to: the host sets every tag
// to the number of its round, so the values of a round delivered are
// counted exactly, whatever the timing of the measurement.
class CountingSink final : public IOPCDataCallback {
public:
    static const unsigned kRoundSlots = 4096;

    CountingSink() : m_values(kRoundSlots), m_reports(kRoundSlots) {}

    // Values of rounds first..last, and the reports that brought them.
    unsigned long long Values(unsigned long long first, unsigned long long last) const
    {
        unsigned long long sum = 0;
        for (unsigned long long r = first; r <= last; ++r)
            sum += m_values[r % kRoundSlots].load();
        return sum;
    }
    unsigned long long Reports(unsigned long long first, unsigned long long last) const
    {
        unsigned long long sum = 0;
        for (unsigned long long r = first; r <= last; ++r)
            sum += m_reports[r % kRoundSlots].load();
        return sum;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (ppv == nullptr)
            return E_INVALIDARG;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCDataCallback)) {
            *ppv = static_cast<IOPCDataCallback *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }
    STDMETHODIMP OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD count, OPCHANDLE *,
                              VARIANT *values, WORD *, FILETIME *, HRESULT *) override
    {
        if (count == 0 || values == nullptr)
            return S_OK;
        for (DWORD i = 0; i < count; ++i) {
            if (V_VT(&values[i]) == VT_I4)
                ++m_values[static_cast<unsigned long>(V_I4(&values[i])) % kRoundSlots];
        }
        if (V_VT(&values[0]) == VT_I4)
            ++m_reports[static_cast<unsigned long>(V_I4(&values[0])) % kRoundSlots];
        return S_OK;
    }
    STDMETHODIMP OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE *, VARIANT *,
                                WORD *, FILETIME *, HRESULT *) override
    {
        return S_OK;
    }
    STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE *, HRESULT *) override
    {
        return S_OK;
    }
    STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }

private:
    std::atomic<ULONG> m_refs{1};
    std::vector<std::atomic<unsigned>> m_values;
    std::vector<std::atomic<unsigned>> m_reports;
};

struct Subscriber {
    IOPCServer *server = nullptr;
    IOPCItemMgt *items = nullptr;
    IConnectionPoint *point = nullptr;
    CountingSink *sink = nullptr;
    DWORD cookie = 0;
    std::vector<OPCHANDLE> handles;

    bool Open(int tags, DWORD rate, bool subscribe)
    {
        if (FAILED(testhost::CreateServer(&server)))
            return false;
        OPCHANDLE group = 0;
        DWORD revised = 0;
        if (FAILED(server->AddGroup(L"bench", TRUE, rate, 1, nullptr, nullptr, 0, &group, &revised,
                                    IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN *>(&items))))
            return false;
        std::vector<std::wstring> names(tags);
        std::vector<OPCITEMDEF> defs(tags);
        for (int i = 0; i < tags; ++i) {
            names[i] = L"Bulk.T" + std::to_wstring(i);
            std::memset(&defs[i], 0, sizeof(defs[i]));
            defs[i].szAccessPath = const_cast<LPWSTR>(L"");
            defs[i].szItemID = const_cast<LPWSTR>(names[i].c_str());
            defs[i].bActive = TRUE;
            defs[i].hClient = static_cast<OPCHANDLE>(i);
        }
        OPCITEMRESULT *results = nullptr;
        HRESULT *errors = nullptr;
        if (FAILED(items->AddItems(tags, defs.data(), &results, &errors)))
            return false;
        for (int i = 0; i < tags; ++i)
            handles.push_back(results[i].hServer);
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
        if (!subscribe)
            return true;
        IConnectionPointContainer *container = nullptr;
        if (FAILED(items->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(&container))))
            return false;
        HRESULT hr = container->FindConnectionPoint(IID_IOPCDataCallback, &point);
        container->Release();
        if (FAILED(hr))
            return false;
        sink = new CountingSink;
        return SUCCEEDED(point->Advise(sink, &cookie));
    }

    void Close()
    {
        if (point != nullptr) {
            point->Unadvise(cookie);
            point->Release();
        }
        if (sink != nullptr)
            sink->Release();
        if (items != nullptr)
            items->Release();
        if (server != nullptr)
            server->Release();
        *this = Subscriber();
    }
};

// CPU milliseconds of a program of this build, from the Linux process
// table (under Wine, GetProcessTimes does not see into another process).
double CpuMs(const char *program)
{
    return HostProcessCpuMs(testhost::BinPath(program));
}

// CPU milliseconds of this process (the clients).
double OwnCpuMs()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    auto value = [](const FILETIME &t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (value(kernel) + value(user)) / 1e4;
}

unsigned long long BulkRounds()
{
    const int rounds = testhost::CommandCode("bulkrounds");
    return rounds > 0 ? static_cast<unsigned long long>(rounds) : 0;
}

// One configuration: tags set every period, clients subscribed at the same
// rate (none: the tag updates alone).
void Measure(int tags, DWORD period, int clients)
{
    if (testhost::CommandCode("bulk " + std::to_string(tags) + " " + std::to_string(period)) != tags) {
        std::printf("  %6d tags / %4lu ms: the host did not start its writer\n", tags,
                    static_cast<unsigned long>(period));
        return;
    }
    std::vector<Subscriber> subscribers(clients);
    for (Subscriber &s : subscribers) {
        if (!s.Open(tags, period, true)) {
            std::printf("  %6d tags / %4lu ms, %d client(s): could not subscribe\n", tags,
                        static_cast<unsigned long>(period), clients);
            for (Subscriber &t : subscribers)
                t.Close();
            return;
        }
    }
    Sleep(kSettleMs);
    const unsigned long long roundsBefore = BulkRounds();
    const double cpuBefore = CpuMs("dakora_test_host.exe");
    const double clientCpuBefore = OwnCpuMs();
    const ULONGLONG start = GetTickCount64();
    Sleep(kMeasureMs);
    const unsigned long long roundsAfter = BulkRounds();
    const double cpuAfter = CpuMs("dakora_test_host.exe");
    const double clientCpuAfter = OwnCpuMs();
    const double seconds = (GetTickCount64() - start) / 1000.0;
    const double cpu = (cpuAfter - cpuBefore) / 10.0 / seconds;
    // The rounds set within the window, once their reports had time to come.
    const unsigned long long first = roundsBefore + 1;
    const unsigned long long last = roundsAfter;
    const double rounds = static_cast<double>(last >= first ? last - first + 1 : 0);
    Sleep(2 * period + 2000);
    unsigned long long values = 0;
    unsigned long long reports = 0;
    for (Subscriber &s : subscribers) {
        values += s.sink->Values(first, last);
        reports += s.sink->Reports(first, last);
    }
    const double offered = rounds * tags * (clients > 0 ? clients : 1) / seconds;
    if (clients == 0) {
        std::printf("  %6d tags / %4lu ms, tag updates alone: %9.0f values/s set, host CPU %5.1f %% of one core\n",
                    tags, static_cast<unsigned long>(period), offered, cpu);
    } else {
        const double share = rounds > 0 ? values / (rounds * tags * clients) : 0.0;
        std::printf("  %6d tags / %4lu ms, %d client(s): offered %9.0f values/s, delivered %9.0f (%.4f), "
                    "%.2f reports/s per client, host CPU %5.1f %% of one core (clients %5.1f %%)\n",
                    tags, static_cast<unsigned long>(period), clients, offered, offered * share, share,
                    rounds > 0 ? reports / (rounds * period / 1000.0) / clients : 0.0, cpu,
                    (clientCpuAfter - clientCpuBefore) / 10.0 / seconds);
    }
    std::fflush(stdout);
    for (Subscriber &s : subscribers)
        s.Close();
    testhost::CommandCode("bulk 0 0");
}

// The child: marshals a counting sink into fileName and keeps it until
// the event is set.
int RunSink(const std::string &fileName, const std::string &eventName)
{
    CountingSink *sink = new CountingSink;
    IStream *stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ||
        FAILED(CoMarshalInterface(stream, IID_IOPCDataCallback, static_cast<IOPCDataCallback *>(sink),
                                  MSHCTX_LOCAL, nullptr, MSHLFLAGS_NORMAL)))
        return 1;
    HGLOBAL block = nullptr;
    GetHGlobalFromStream(stream, &block);
    const SIZE_T size = GlobalSize(block);
    const char *bytes = static_cast<const char *>(GlobalLock(block));
    const std::string temporary = fileName + ".part";
    {
        std::ofstream out(temporary, std::ios::binary);
        out.write(bytes, static_cast<std::streamsize>(size));
    }
    GlobalUnlock(block);
    MoveFileA(temporary.c_str(), fileName.c_str());
    HANDLE end = OpenEventA(SYNCHRONIZE, FALSE, eventName.c_str());
    if (end != nullptr) {
        WaitForSingleObject(end, 120000);
        CloseHandle(end);
    }
    stream->Release();
    sink->Release();
    return 0;
}

// The sender: one report of tags items once a second for the measuring
// time, straight to the child's sink.
void MeasureFloor(int tags)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof(folder), folder);
    const std::string fileName = std::string(folder) + "delivery-floor-" + std::to_string(GetCurrentProcessId());
    const std::string eventName = "DeliveryFloorEnd_" + std::to_string(GetCurrentProcessId());
    HANDLE end = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    HANDLE child = StartChildProcess(ProgramBesideThisOne("opcda_delivery_bench.exe"),
                                     "--sink \"" + fileName + "\" " + eventName);
    // The child renames the file into place once it is complete.
    std::ifstream in;
    for (int i = 0; i < 300 && child != nullptr && !in.is_open(); ++i) {
        in.open(fileName, std::ios::binary);
        if (!in.is_open())
            Sleep(100);
    }
    IOPCDataCallback *callback = nullptr;
    if (in.is_open()) {
        std::stringstream content;
        content << in.rdbuf();
        const std::string bytes = content.str();
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        IStream *stream = nullptr;
        if (block != nullptr) {
            std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
            GlobalUnlock(block);
            if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)))
                GlobalFree(block);
        }
        if (stream != nullptr) {
            CoUnmarshalInterface(stream, IID_IOPCDataCallback, reinterpret_cast<void **>(&callback));
            stream->Release();
        }
        in.close();
    }
    if (callback == nullptr) {
        std::printf("  floor: the child's sink could not be reached\n");
    } else {
        std::vector<OPCHANDLE> handles(tags);
        std::vector<VARIANT> values(tags);
        std::vector<WORD> qualities(tags, 0xC0); // good
        std::vector<FILETIME> times(tags);
        std::vector<HRESULT> errors(tags, S_OK);
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        for (int i = 0; i < tags; ++i) {
            handles[i] = static_cast<OPCHANDLE>(i);
            V_VT(&values[i]) = VT_I4;
            V_I4(&values[i]) = 0;
            times[i] = now;
        }
        callback->OnDataChange(0, 1, S_OK, S_OK, tags, handles.data(), values.data(), qualities.data(),
                               times.data(), errors.data()); // connection set up outside the window
        std::vector<double> callMs;
        const double cpuBefore = OwnCpuMs();
        const ULONGLONG start = GetTickCount64();
        for (unsigned round = 1; GetTickCount64() - start < kMeasureMs; ++round) {
            for (int i = 0; i < tags; ++i)
                V_I4(&values[i]) = static_cast<LONG>(round);
            LARGE_INTEGER frequency, t0, t1;
            QueryPerformanceFrequency(&frequency);
            QueryPerformanceCounter(&t0);
            callback->OnDataChange(0, 1, S_OK, S_OK, tags, handles.data(), values.data(), qualities.data(),
                                   times.data(), errors.data());
            QueryPerformanceCounter(&t1);
            const double ms = (t1.QuadPart - t0.QuadPart) * 1000.0 / frequency.QuadPart;
            callMs.push_back(ms);
            Sleep(ms < 1000 ? static_cast<DWORD>(1000 - ms) : 0);
        }
        const double seconds = (GetTickCount64() - start) / 1000.0;
        const double cpu = (OwnCpuMs() - cpuBefore) / 10.0 / seconds;
        std::sort(callMs.begin(), callMs.end());
        std::printf("  floor, a bare sender, %6d items once a second: sender CPU %5.1f %% of one core, "
                    "one call %.0f ms (median)\n",
                    tags, cpu, callMs.empty() ? 0.0 : callMs[callMs.size() / 2]);
        callback->Release();
    }
    SetEvent(end);
    if (child != nullptr) {
        WaitForSingleObject(child, 10000);
        CloseHandle(child);
    }
    CloseHandle(end);
    DeleteFileA(fileName.c_str());
}

} // namespace

// Without arguments every configuration; with "tags period clients" only
// that one (for profiling a single case); with --floor the floor alone.
int main(int argc, char **argv)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (argc == 4 && std::strcmp(argv[1], "--sink") == 0) {
        const int result = RunSink(argv[2], argv[3]);
        CoUninitialize();
        return result;
    }
    testhost::EndHosts();
    if (!testhost::RegisterAll()) {
        std::printf("registration failed\n");
        return 1;
    }
    if (argc == 2 && std::strcmp(argv[1], "--floor") == 0) {
        MeasureFloor(100000);
        testhost::UnregisterHost();
        CoUninitialize();
        return 0;
    }
    // One idle connection keeps the host alive for the whole run.
    IOPCServer *keeper = nullptr;
    if (FAILED(testhost::CreateServer(&keeper)) || testhost::CommandCode("lifetime 900") != 0) {
        std::printf("host did not start\n");
        return 1;
    }
    std::printf("delivery: the host sets every tag each period; groups at the same rate (%s)\n",
                sizeof(void *) == 4 ? "i686" : "x86_64");
    if (argc == 4) {
        Measure(std::atoi(argv[1]), static_cast<DWORD>(std::atoi(argv[2])), std::atoi(argv[3]));
        keeper->Release();
        testhost::UnregisterHost();
        CoUninitialize();
        return 0;
    }
    Measure(100000, 1000, 0);
    Measure(10000, 200, 1);
    Measure(10000, 200, 4);
    Measure(50000, 200, 1);
    Measure(100000, 1000, 1);
    Measure(100000, 1000, 4);
    MeasureFloor(100000);

    const int readTags = 10000;
    testhost::CommandCode("bulk " + std::to_string(readTags) + " 0");
    Subscriber reader;
    if (reader.Open(readTags, 1000, false)) {
        IOPCSyncIO *io = nullptr;
        reader.items->QueryInterface(IID_IOPCSyncIO, reinterpret_cast<void **>(&io));
        LARGE_INTEGER frequency, t0, t1;
        QueryPerformanceFrequency(&frequency);
        double best = 1e9;
        for (int round = 0; round < 5; ++round) {
            OPCITEMSTATE *states = nullptr;
            HRESULT *errors = nullptr;
            QueryPerformanceCounter(&t0);
            io->Read(OPC_DS_CACHE, readTags, reader.handles.data(), &states, &errors);
            QueryPerformanceCounter(&t1);
            const double ms = (t1.QuadPart - t0.QuadPart) * 1000.0 / frequency.QuadPart;
            best = ms < best ? ms : best;
            for (int i = 0; i < readTags; ++i)
                VariantClear(&states[i].vDataValue);
            CoTaskMemFree(states);
            CoTaskMemFree(errors);
        }
        std::printf("  sync read of %d items: %.1f ms (best of 5)\n", readTags, best);
        io->Release();
        reader.Close();
    }
    keeper->Release();
    testhost::UnregisterHost();
    CoUninitialize();
    return 0;
}
