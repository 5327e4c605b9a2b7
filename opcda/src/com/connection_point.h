// connection_point.h - a connection point for one outgoing interface, kept
// inside its owner (server object or group): up to 256 sinks with cookies
// counting from 1, in Advise order. Its reference count is the owner's.
#pragma once

#include "lock.h"

#include <windows.h>
#include <ocidl.h>

#include <functional>
#include <vector>

class CConnectPoint : public IConnectionPoint {
public:
    static const size_t kMaxSinks = 256;

    CConnectPoint(IUnknown *owner, REFIID sinkInterface);
    virtual ~CConnectPoint();
    CConnectPoint(const CConnectPoint &) = delete;
    CConnectPoint &operator=(const CConnectPoint &) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID *pIID) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer **ppCPC) override;
    STDMETHODIMP Advise(IUnknown *pUnkSink, DWORD *pdwCookie) override;
    STDMETHODIMP Unadvise(DWORD dwCookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections **ppEnum) override;

    // The sinks in Advise order, each with a reference the caller releases.
    std::vector<IUnknown *> Sinks();
    size_t SinkCount();
    // Releases every sink (owner destruction).
    void ReleaseAll();

protected:
    // Called after a successful Advise, outside the point's lock.
    virtual void OnAdvise() {}

private:
    struct Connection {
        IUnknown *sink;
        DWORD cookie;
    };

    IUnknown *m_owner;
    IID m_sinkInterface;
    CLock m_lock;
    std::vector<Connection> m_connections;
    DWORD m_nextCookie;
};

// The server object's point for IOPCShutdown sinks.
class CConnectPointShutdown : public CConnectPoint {
public:
    explicit CConnectPointShutdown(IUnknown *owner);
};

// A group's point for IOPCDataCallback sinks; onAdvise runs after every
// new subscription.
class CConnectPointGroup : public CConnectPoint {
public:
    CConnectPointGroup(IUnknown *owner, std::function<void()> onAdvise);

protected:
    void OnAdvise() override;

private:
    std::function<void()> m_onAdvise;
};
