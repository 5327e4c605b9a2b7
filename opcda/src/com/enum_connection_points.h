// enum_connection_points.h - IEnumConnectionPoints over the one connection
// point of a server object or group; its cursor is 0 or 1.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <atomic>

class CIEnumConnectionPoints final : public IEnumConnectionPoints {
public:
    // Holds a reference to the point (and so to its owner) while it lives.
    explicit CIEnumConnectionPoints(IConnectionPoint *point);

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG cConnections, IConnectionPoint **ppCP, ULONG *pcFetched) override;
    STDMETHODIMP Skip(ULONG cConnections) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumConnectionPoints **ppEnum) override;

private:
    ~CIEnumConnectionPoints();

    std::atomic<LONG> m_refs;
    IConnectionPoint *m_point;
    ULONG m_cursor;
};
