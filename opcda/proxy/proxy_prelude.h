/* proxy_prelude.h - force-included into the generated proxy/stub sources:
 * stubless proxies, and the IUnknown proxy helpers that MinGW's rpcproxy.h
 * declares only for C++. */
#ifndef PROXY_PRELUDE_H
#define PROXY_PRELUDE_H
#define USE_STUBLESS_PROXY
#include <windows.h>
#include <rpcproxy.h>
#ifndef __cplusplus
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown *This, REFIID riid, void **ppvObject);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown *This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown *This);
#endif
#endif
