// Data-change delivery benchmark: the test host declares 10,000 tags and
// sets every one of them every 200 ms; 1 and then 4 out-of-process clients
// subscribe to all of them at 200 ms. Prints the values per second the
// clients receive, the host's CPU share, and the time of one synchronous
// read of the 10,000 items.
#include "test_host_control.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int kTags = 10000;
const DWORD kRate = 200;
const DWORD kMeasureMs = 10000;

class CountingSink final : public IOPCDataCallback {
public:
    std::atomic<unsigned long long> values{0};

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
                              VARIANT *, WORD *, FILETIME *, HRESULT *) override
    {
        values += count;
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
};

struct Subscriber {
    IOPCServer *server = nullptr;
    IOPCItemMgt *items = nullptr;
    IConnectionPoint *point = nullptr;
    CountingSink *sink = nullptr;
    DWORD cookie = 0;
    std::vector<OPCHANDLE> handles;

    bool Open(bool subscribe)
    {
        if (FAILED(testhost::CreateServer(&server)))
            return false;
        OPCHANDLE group = 0;
        DWORD revised = 0;
        if (FAILED(server->AddGroup(L"bench", TRUE, kRate, 1, nullptr, nullptr, 0, &group, &revised,
                                    IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN *>(&items))))
            return false;
        std::vector<std::wstring> names(kTags);
        std::vector<OPCITEMDEF> defs(kTags);
        for (int i = 0; i < kTags; ++i) {
            names[i] = L"Bulk.T" + std::to_wstring(i);
            std::memset(&defs[i], 0, sizeof(defs[i]));
            defs[i].szAccessPath = const_cast<LPWSTR>(L"");
            defs[i].szItemID = const_cast<LPWSTR>(names[i].c_str());
            defs[i].bActive = TRUE;
            defs[i].hClient = static_cast<OPCHANDLE>(i);
        }
        OPCITEMRESULT *results = nullptr;
        HRESULT *errors = nullptr;
        if (FAILED(items->AddItems(kTags, defs.data(), &results, &errors)))
            return false;
        for (int i = 0; i < kTags; ++i)
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

ULONGLONG CpuTime(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    auto value = [](const FILETIME &t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return value(kernel) + value(user);
}

void MeasureSubscribers(int clients, HANDLE host)
{
    std::vector<Subscriber> subscribers(clients);
    for (Subscriber &s : subscribers) {
        if (!s.Open(true)) {
            std::printf("  %d client(s): could not subscribe\n", clients);
            return;
        }
    }
    Sleep(2000); // past the first full reports
    unsigned long long before = 0;
    for (Subscriber &s : subscribers)
        before += s.sink->values;
    const ULONGLONG cpuBefore = CpuTime(host);
    const DWORD start = GetTickCount();
    Sleep(kMeasureMs);
    const DWORD elapsed = GetTickCount() - start;
    const ULONGLONG cpuAfter = CpuTime(host);
    unsigned long long after = 0;
    for (Subscriber &s : subscribers)
        after += s.sink->values;
    const double seconds = elapsed / 1000.0;
    std::printf("  %d client(s): %10.0f values/s delivered in all, host CPU %5.1f %% of one core\n",
                clients, (after - before) / seconds,
                (cpuAfter - cpuBefore) / 1e7 / seconds * 100.0);
    for (Subscriber &s : subscribers)
        s.Close();
}

} // namespace

int main()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    testhost::EndHosts();
    if (!testhost::RegisterAll()) {
        std::printf("registration failed\n");
        return 1;
    }
    // One idle connection keeps the host (and its bulk writer) alive.
    IOPCServer *keeper = nullptr;
    if (FAILED(testhost::CreateServer(&keeper)) ||
        testhost::CommandCode("bulk " + std::to_string(kTags) + " " + std::to_string(kRate)) != kTags) {
        std::printf("host did not start\n");
        return 1;
    }
    HANDLE host = testhost::OpenHostProcess();
    std::printf("delivery, %d tags set every %lu ms, groups at %lu ms (%s)\n", kTags,
                static_cast<unsigned long>(kRate), static_cast<unsigned long>(kRate),
                sizeof(void *) == 4 ? "i686" : "x86_64");
    MeasureSubscribers(1, host);
    MeasureSubscribers(4, host);

    Subscriber reader;
    if (reader.Open(false)) {
        IOPCSyncIO *io = nullptr;
        reader.items->QueryInterface(IID_IOPCSyncIO, reinterpret_cast<void **>(&io));
        LARGE_INTEGER frequency, t0, t1;
        QueryPerformanceFrequency(&frequency);
        double best = 1e9;
        for (int round = 0; round < 5; ++round) {
            OPCITEMSTATE *states = nullptr;
            HRESULT *errors = nullptr;
            QueryPerformanceCounter(&t0);
            io->Read(OPC_DS_CACHE, kTags, reader.handles.data(), &states, &errors);
            QueryPerformanceCounter(&t1);
            const double ms = (t1.QuadPart - t0.QuadPart) * 1000.0 / frequency.QuadPart;
            best = ms < best ? ms : best;
            for (int i = 0; i < kTags; ++i)
                VariantClear(&states[i].vDataValue);
            CoTaskMemFree(states);
            CoTaskMemFree(errors);
        }
        std::printf("  sync read of %d items: %.1f ms (best of 5)\n", kTags, best);
        io->Release();
        reader.Close();
    }
    keeper->Release();
    testhost::UnregisterHost();
    CoUninitialize();
    return 0;
}
