// server_factory.h - the class object registered under the server's class id.
// It is a static object: AddRef and Release do nothing.
#pragma once

#include <windows.h>
#include <objbase.h>

class COpcDaServerFactory final : public IClassFactory {
public:
    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IClassFactory
    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;
};
