// enum_item_string.h - IEnumString over a list of browse names (ANSI, at
// most 79 characters each), handed out as task-memory UTF-16 strings.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <atomic>
#include <string>
#include <vector>

class CEnumItemString final : public IEnumString {
public:
    explicit CEnumItemString(std::vector<std::string> names);

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG celt, LPOLESTR *rgelt, ULONG *pceltFetched) override;
    STDMETHODIMP Skip(ULONG celt) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumString **ppenum) override;

private:
    ~CEnumItemString() = default;

    std::atomic<LONG> m_refs;
    std::vector<std::string> m_names;
    size_t m_cursor;
};
