// enum_item_attributes.h - IEnumOPCItemAttributes over a snapshot of a
// group's items.
#pragma once

#include "opc_interfaces.h"

#include <atomic>
#include <string>
#include <vector>

struct ItemAttributes {
    std::string itemId; // ANSI
    bool active;
    OPCHANDLE clientHandle;
    OPCHANDLE serverHandle;
    DWORD accessRights;
    VARTYPE requestedType;
    VARTYPE canonicalType;
    // Analog items carry their EU range (low, high).
    bool analog;
    double lowEu;
    double highEu;
};

class CEnumItemAttributes final : public IEnumOPCItemAttributes {
public:
    explicit CEnumItemAttributes(std::vector<ItemAttributes> items);

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG celt, OPCITEMATTRIBUTES **ppItemArray, ULONG *pceltFetched) override;
    STDMETHODIMP Skip(ULONG celt) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumOPCItemAttributes **ppEnumItemAttributes) override;

private:
    ~CEnumItemAttributes() = default;

    std::atomic<LONG> m_refs;
    std::vector<ItemAttributes> m_items;
    size_t m_cursor;
};
