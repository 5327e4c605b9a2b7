// shutdown_recorder.h - a client's IOPCShutdown sink for tests: records the
// reasons it is given, and runs a hook (on the server's call) that can look
// at the world at the moment the notice arrives.
#pragma once

#include "opc_interfaces.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace iotest {

class ShutdownRecorder final : public IOPCShutdown {
public:
    // Created with one reference, which the caller holds.
    ShutdownRecorder() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    // COM may hold references after the test (those of a server that died
    // holding them go at CoUninitialize): the sink goes with the last one.
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP ShutdownRequest(LPCWSTR szReason) override;

    std::vector<std::wstring> Reasons();
    void SetHook(std::function<void()> hook);

private:
    ~ShutdownRecorder() = default;

    std::atomic<ULONG> m_refs{1};
    std::mutex m_mutex;
    std::vector<std::wstring> m_reasons;
    std::function<void()> m_hook;
};

// Advises the sink on the server object's IOPCShutdown connection point.
HRESULT AdviseShutdown(IUnknown *server, IUnknown *sink, DWORD *cookie);

} // namespace iotest
