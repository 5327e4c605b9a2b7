// shutdown_recorder.cpp - the tests' IOPCShutdown sink.
#include "shutdown_recorder.h"

namespace iotest {

STDMETHODIMP ShutdownRecorder::QueryInterface(REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCShutdown)) {
        *ppv = static_cast<IOPCShutdown *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ShutdownRecorder::AddRef()
{
    return ++m_refs;
}

STDMETHODIMP_(ULONG) ShutdownRecorder::Release()
{
    const ULONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return refs;
}

STDMETHODIMP ShutdownRecorder::ShutdownRequest(LPCWSTR szReason)
{
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reasons.push_back(szReason != nullptr ? szReason : L"(null)");
        hook = m_hook;
    }
    if (hook)
        hook();
    return S_OK;
}

std::vector<std::wstring> ShutdownRecorder::Reasons()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reasons;
}

void ShutdownRecorder::SetHook(std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hook = std::move(hook);
}

HRESULT AdviseShutdown(IUnknown *server, IUnknown *sink, DWORD *cookie)
{
    IConnectionPointContainer *container = nullptr;
    HRESULT hr = server->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(&container));
    if (FAILED(hr))
        return hr;
    IConnectionPoint *point = nullptr;
    hr = container->FindConnectionPoint(IID_IOPCShutdown, &point);
    container->Release();
    if (FAILED(hr))
        return hr;
    hr = point->Advise(sink, cookie);
    point->Release();
    return hr;
}

} // namespace iotest
