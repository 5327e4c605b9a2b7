// opc_group_sampling.cpp - IOPCItemSamplingMgt of a group. An item's own
// sampling rate limits how often its changes are reported (at most once per
// sampling period, at the group's scans); rates run on the worker's 100 ms
// grid. The server keeps no buffer of samples between updates.
#include "opc_group.h"

namespace {

const DWORD kSamplingGrid = 100;

DWORD ReviseSamplingRate(DWORD requested)
{
    if (requested < kSamplingGrid)
        return kSamplingGrid;
    if (requested % kSamplingGrid == 0 || requested > 0xFFFFFFFFu - kSamplingGrid)
        return requested - requested % kSamplingGrid;
    return requested + kSamplingGrid - requested % kSamplingGrid;
}

} // namespace

STDMETHODIMP COpcGroup::SetItemSamplingRate(DWORD dwCount, OPCHANDLE *phServer,
                                            DWORD *pdwRequestedSamplingRate,
                                            DWORD **ppdwRevisedSamplingRate, HRESULT **ppErrors)
{
    if (pdwRequestedSamplingRate == nullptr)
        return E_INVALIDARG;
    return ForEachHandleInto(dwCount, phServer, ppdwRevisedSamplingRate, ppErrors,
                             [pdwRequestedSamplingRate](GroupItem &item, DWORD i, DWORD *revised) {
                                 item.samplingRate = ReviseSamplingRate(pdwRequestedSamplingRate[i]);
                                 revised[i] = item.samplingRate;
                                 return revised[i] == pdwRequestedSamplingRate[i]
                                            ? S_OK
                                            : OPC_S_UNSUPPORTEDRATE;
                             });
}

STDMETHODIMP COpcGroup::GetItemSamplingRate(DWORD dwCount, OPCHANDLE *phServer,
                                            DWORD **ppdwSamplingRate, HRESULT **ppErrors)
{
    return ForEachHandleInto(dwCount, phServer, ppdwSamplingRate, ppErrors,
                             [](GroupItem &item, DWORD i, DWORD *rates) {
                                 if (item.samplingRate == 0)
                                     return OPC_E_RATENOTSET;
                                 rates[i] = item.samplingRate;
                                 return S_OK;
                             });
}

STDMETHODIMP COpcGroup::ClearItemSamplingRate(DWORD dwCount, OPCHANDLE *phServer, HRESULT **ppErrors)
{
    return ForEachHandle(dwCount, phServer, phServer, ppErrors, [](GroupItem &item, DWORD) {
        if (item.samplingRate == 0)
            return OPC_E_RATENOTSET;
        item.samplingRate = 0;
        return S_OK;
    });
}

// Buffering is not offered: enabling it is refused per item.
STDMETHODIMP COpcGroup::SetItemBufferEnable(DWORD dwCount, OPCHANDLE *phServer, BOOL *pbEnable,
                                            HRESULT **ppErrors)
{
    return ForEachHandle(dwCount, phServer, pbEnable, ppErrors, [pbEnable](GroupItem &, DWORD i) {
        return pbEnable[i] ? OPC_E_NOBUFFERING : S_OK;
    });
}

STDMETHODIMP COpcGroup::GetItemBufferEnable(DWORD dwCount, OPCHANDLE *phServer, BOOL **ppbEnable,
                                            HRESULT **ppErrors)
{
    // Never enabled: the array stays all FALSE.
    return ForEachHandleInto(dwCount, phServer, ppbEnable, ppErrors,
                             [](GroupItem &, DWORD, BOOL *) { return S_OK; });
}
