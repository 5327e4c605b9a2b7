// enum_connections.h - IEnumConnections over a snapshot of a connection
// point's sinks and cookies.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <atomic>
#include <vector>

class CEnumConnections final : public IEnumConnections {
public:
    // Takes a reference to every sink of the snapshot.
    explicit CEnumConnections(const std::vector<CONNECTDATA> &connections);

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG cConnections, CONNECTDATA *rgcd, ULONG *pcFetched) override;
    STDMETHODIMP Skip(ULONG cConnections) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumConnections **ppEnum) override;

private:
    ~CEnumConnections();

    std::atomic<LONG> m_refs;
    std::vector<CONNECTDATA> m_connections;
    size_t m_cursor;
};
