// opc_group_sync_io.cpp - IOPCSyncIO and IOPCSyncIO2 of a group. The tag
// table is the cache and there is no device behind it: cache and device
// reads return the same. Any tag handle works, in the group or not.
#include "opc_group.h"

#include "tag_batch_io.h"

STDMETHODIMP COpcGroup::Read(OPCDATASOURCE, DWORD dwCount, OPCHANDLE *phServer,
                             OPCITEMSTATE **ppItemValues, HRESULT **ppErrors)
{
    if (dwCount == 0 || phServer == nullptr || ppItemValues == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    HRESULT hr = ReadItems(m_tags, dwCount, phServer, ppItemValues, ppErrors);
    if (FAILED(hr))
        return hr;
    CAutoLock guard(m_lock);
    for (DWORD i = 0; i < dwCount; ++i) {
        auto found = m_items.find(phServer[i]);
        if (found != m_items.end())
            (*ppItemValues)[i].hClient = found->second.clientHandle;
    }
    return S_OK;
}

STDMETHODIMP COpcGroup::Write(DWORD dwCount, OPCHANDLE *phServer, VARIANT *pItemValues,
                              HRESULT **ppErrors)
{
    if (dwCount == 0 || phServer == nullptr || pItemValues == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    return WriteItems(m_tags, dwCount, phServer, pItemValues, ppErrors);
}

STDMETHODIMP COpcGroup::ReadMaxAge(DWORD dwCount, OPCHANDLE *phServer, DWORD *pdwMaxAge,
                                   VARIANT **ppvValues, WORD **ppwQualities,
                                   FILETIME **ppftTimeStamps, HRESULT **ppErrors)
{
    if (phServer == nullptr || pdwMaxAge == nullptr || ppvValues == nullptr ||
        ppwQualities == nullptr || ppftTimeStamps == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    return ReadItemsMaxAge(m_tags, dwCount, phServer, ppvValues, ppwQualities, ppftTimeStamps,
                           ppErrors);
}

STDMETHODIMP COpcGroup::WriteVQT(DWORD dwCount, OPCHANDLE *phServer, OPCITEMVQT *pItemVQT,
                                 HRESULT **ppErrors)
{
    if (dwCount == 0 || phServer == nullptr || pItemVQT == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    return WriteItemsVQT(m_tags, dwCount, phServer, pItemVQT, ppErrors);
}
