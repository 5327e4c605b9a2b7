// server_registry.cpp - live server objects and the shutdown notice.
#include "server_registry.h"

#include "error_text.h"
#include "library_state.h"
#include "lock.h"
#include "opc_server.h"

#include <objbase.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

CLock &RegistryLock()
{
    static CLock lock;
    return lock;
}

std::vector<COpcDaServer *> &Servers()
{
    static std::vector<COpcDaServer *> servers;
    return servers;
}

const wchar_t kReasonEnglish[] = L"The server is shutting down.";
const wchar_t kReasonChinese[] = L"服务器即将关闭。";

struct Notice {
    IUnknown *sink;
    std::wstring reason;
};

// The server is going away: no new client is sent here any more, then
// every sink hears it.
DWORD WINAPI DeliverNotices(void *parameter)
{
    std::unique_ptr<std::vector<Notice>> notices(static_cast<std::vector<Notice> *>(parameter));
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    DakoarThread().RevokeClassObject();
    for (Notice &notice : *notices) {
        IOPCShutdown *shutdown = nullptr;
        if (SUCCEEDED(notice.sink->QueryInterface(IID_IOPCShutdown,
                                                  reinterpret_cast<void **>(&shutdown))) &&
            shutdown != nullptr) {
            shutdown->ShutdownRequest(notice.reason.c_str());
            shutdown->Release();
        }
        notice.sink->Release();
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return 0;
}

} // namespace

void RegisterServerObject(COpcDaServer *server)
{
    CAutoLock guard(RegistryLock());
    try {
        Servers().push_back(server);
    } catch (...) {
        // not told at shutdown; it works otherwise
    }
}

void UnregisterServerObject(COpcDaServer *server)
{
    CAutoLock guard(RegistryLock());
    std::vector<COpcDaServer *> &servers = Servers();
    servers.erase(std::remove(servers.begin(), servers.end(), server), servers.end());
}

unsigned NotifyShutdown(DWORD waitMs)
{
    std::unique_ptr<std::vector<Notice>> notices(new (std::nothrow) std::vector<Notice>);
    if (!notices)
        return 0;
    {
        // A server object under destruction waits here before it goes.
        CAutoLock guard(RegistryLock());
        for (COpcDaServer *server : Servers()) {
            const bool chinese = IsChineseLocale(server->Locale());
            for (IUnknown *sink : server->ShutdownSinks()) {
                try {
                    notices->push_back({sink, chinese ? kReasonChinese : kReasonEnglish});
                } catch (...) {
                    sink->Release();
                }
            }
        }
    }
    const unsigned count = static_cast<unsigned>(notices->size());
    // A client that does not answer must not hold the host: the calls run
    // on a thread of their own, which is waited for at most waitMs.
    HANDLE thread = CreateThread(nullptr, 0, &DeliverNotices, notices.get(), 0, nullptr);
    if (thread == nullptr) {
        for (Notice &notice : *notices)
            notice.sink->Release();
        return 0;
    }
    notices.release(); // the thread's now
    WaitForSingleObject(thread, waitMs);
    CloseHandle(thread);
    return count;
}
