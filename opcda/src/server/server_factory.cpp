// server_factory.cpp - class factory of the OPC DA server object.
#include "server_factory.h"

#include "opc_server.h"
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
    COpcDaServer *server = COpcDaServer::Create();
    if (server == nullptr)
        return E_OUTOFMEMORY;
    // A failed query destroys the object again (reference count 1 -> 0).
    server->AddRef();
    HRESULT hr = server->QueryInterface(riid, ppv);
    server->Release();
    return hr;
}

STDMETHODIMP COpcDaServerFactory::LockServer(BOOL lock)
{
    if (lock)
        AddRefServerProcess();
    else
        ReleaseServerProcess();
    return S_OK;
}
