// enum_item_string.h - IEnumString over a list of names (browse names in
// ANSI, group names in UTF-16), handed out as task-memory UTF-16 strings.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <atomic>
#include <string>
#include <vector>

class CEnumItemString final : public IEnumString {
public:
    explicit CEnumItemString(const std::vector<std::string> &names);
    explicit CEnumItemString(std::vector<std::wstring> names);

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
    std::vector<std::wstring> m_names;
    size_t m_cursor;
};
