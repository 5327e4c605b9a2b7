// connection_point.cpp - sink table of a connection point.
#include "connection_point.h"

#include "enum_connections.h"
#include "opc_interfaces.h"

#include <olectl.h>

#include <new>

CConnectPoint::CConnectPoint(IUnknown *owner, REFIID sinkInterface)
    : m_owner(owner), m_sinkInterface(sinkInterface), m_nextCookie(1)
{
}

CConnectPoint::~CConnectPoint()
{
    ReleaseAll();
}

STDMETHODIMP CConnectPoint::QueryInterface(REFIID riid, void **ppv)
{
    if (ppv == nullptr)
        return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *ppv = static_cast<IConnectionPoint *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// The point lives inside its owner: a reference to the point keeps the
// owner alive.
STDMETHODIMP_(ULONG) CConnectPoint::AddRef()
{
    return m_owner->AddRef();
}

STDMETHODIMP_(ULONG) CConnectPoint::Release()
{
    return m_owner->Release();
}

STDMETHODIMP CConnectPoint::GetConnectionInterface(IID *pIID)
{
    if (pIID == nullptr)
        return E_INVALIDARG;
    *pIID = m_sinkInterface;
    return S_OK;
}

STDMETHODIMP CConnectPoint::GetConnectionPointContainer(IConnectionPointContainer **ppCPC)
{
    if (ppCPC == nullptr)
        return E_INVALIDARG;
    return m_owner->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(ppCPC));
}

STDMETHODIMP CConnectPoint::Advise(IUnknown *pUnkSink, DWORD *pdwCookie)
{
    if (pUnkSink == nullptr || pdwCookie == nullptr)
        return E_INVALIDARG;
    {
        CAutoLock guard(m_lock);
        if (m_connections.size() >= kMaxSinks)
            return CONNECT_E_ADVISELIMIT;
        try {
            m_connections.push_back({pUnkSink, m_nextCookie});
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        pUnkSink->AddRef();
        *pdwCookie = m_nextCookie++;
    }
    OnAdvise();
    return S_OK;
}

STDMETHODIMP CConnectPoint::Unadvise(DWORD dwCookie)
{
    IUnknown *sink = nullptr;
    {
        CAutoLock guard(m_lock);
        for (auto it = m_connections.begin(); it != m_connections.end(); ++it) {
            if (it->cookie == dwCookie) {
                sink = it->sink;
                m_connections.erase(it);
                break;
            }
        }
    }
    if (sink == nullptr)
        return CONNECT_E_NOCONNECTION;
    sink->Release();
    return S_OK;
}

STDMETHODIMP CConnectPoint::EnumConnections(IEnumConnections **ppEnum)
{
    if (ppEnum == nullptr)
        return E_INVALIDARG;
    *ppEnum = nullptr;
    std::vector<CONNECTDATA> data;
    {
        CAutoLock guard(m_lock);
        for (const Connection &c : m_connections)
            data.push_back({c.sink, c.cookie});
    }
    CEnumConnections *enumerator = new (std::nothrow) CEnumConnections(data);
    if (enumerator == nullptr)
        return E_OUTOFMEMORY;
    return enumerator->QueryInterface(IID_IEnumConnections, reinterpret_cast<void **>(ppEnum));
}

std::vector<IUnknown *> CConnectPoint::Sinks()
{
    CAutoLock guard(m_lock);
    std::vector<IUnknown *> sinks;
    sinks.reserve(m_connections.size());
    for (const Connection &c : m_connections) {
        c.sink->AddRef();
        sinks.push_back(c.sink);
    }
    return sinks;
}

size_t CConnectPoint::SinkCount()
{
    CAutoLock guard(m_lock);
    return m_connections.size();
}

void CConnectPoint::ReleaseAll()
{
    std::vector<Connection> connections;
    {
        CAutoLock guard(m_lock);
        connections.swap(m_connections);
    }
    for (const Connection &c : connections)
        c.sink->Release();
}

CConnectPointShutdown::CConnectPointShutdown(IUnknown *owner)
    : CConnectPoint(owner, IID_IOPCShutdown)
{
}

CConnectPointGroup::CConnectPointGroup(IUnknown *owner, std::function<void()> onAdvise)
    : CConnectPoint(owner, IID_IOPCDataCallback), m_onAdvise(std::move(onAdvise))
{
}

void CConnectPointGroup::OnAdvise()
{
    if (m_onAdvise)
        m_onAdvise();
}
