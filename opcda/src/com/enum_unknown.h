// enum_unknown.h - IEnumUnknown over a snapshot of objects (the groups of a
// server object), each held with a reference while the enumerator lives.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <atomic>
#include <vector>

class CEnumUnknown final : public IEnumUnknown {
public:
    // Takes over one reference to every object.
    explicit CEnumUnknown(std::vector<IUnknown *> objects);

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG celt, IUnknown **rgelt, ULONG *pceltFetched) override;
    STDMETHODIMP Skip(ULONG celt) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumUnknown **ppenum) override;

private:
    ~CEnumUnknown();

    std::atomic<LONG> m_refs;
    std::vector<IUnknown *> m_objects;
    size_t m_cursor;
};
