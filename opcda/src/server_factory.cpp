// server_factory.cpp - class factory of the OPC DA server object.
#include "server_factory.h"

#include "server_process.h"

STDMETHODIMP COpcDaServerFactory::QueryInterface(REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory *>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COpcDaServerFactory::AddRef()
{
    return 1;
}

STDMETHODIMP_(ULONG) COpcDaServerFactory::Release()
{
    return 1;
}

STDMETHODIMP COpcDaServerFactory::CreateInstance(IUnknown *outer, REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    // The server object is not part of this build yet.
    return E_NOTIMPL;
}

STDMETHODIMP COpcDaServerFactory::LockServer(BOOL lock)
{
    if (lock)
        AddRefServerProcess();
    else
        ReleaseServerProcess();
    return S_OK;
}
