// opc_group_deadband.cpp - IOPCItemDeadbandMgt of a group and the percent
// deadband test of its scans. A deadband applies to analog items only (the
// host gave them an EU range): a new value is reported when it differs from
// the value last reported by more than percent / 100 of the range. The
// item's own deadband overrides the group's; quality changes are always
// reported.
#include "opc_group.h"

#include "opc_data.h"

#include <cmath>

namespace {

bool AsDouble(const VARIANT &value, double *number)
{
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeTypeEx(&converted, const_cast<VARIANT *>(&value), LOCALE_INVARIANT, 0,
                                   VT_R8)))
        return false;
    *number = V_R8(&converted);
    return true;
}

} // namespace

bool COpcGroup::WithinDeadband(const GroupItem &item, const VARIANT &value, WORD quality)
{
    const float percent = item.hasDeadband ? item.deadband : m_percentDeadband;
    if (percent <= 0.0f || !item.hasReported || quality != item.reportedQuality)
        return false;
    double low = 0.0, high = 0.0, number = 0.0;
    if (!m_tags.GetEuRange(item.serverHandle, &low, &high) || !AsDouble(value, &number))
        return false;
    return std::fabs(number - item.reportedValue) <= percent / 100.0 * (high - low);
}

void COpcGroup::NoteReported(GroupItem &item, const VARIANT &value, WORD quality)
{
    item.hasReported = AsDouble(value, &item.reportedValue);
    item.reportedQuality = quality;
}

STDMETHODIMP COpcGroup::SetItemDeadband(DWORD dwCount, OPCHANDLE *phServer, FLOAT *pPercentDeadband,
                                        HRESULT **ppErrors)
{
    return ForEachHandle(dwCount, phServer, pPercentDeadband, ppErrors,
                         [this, pPercentDeadband](GroupItem &item, DWORD i) {
                             double low = 0.0, high = 0.0;
                             if (!m_tags.GetEuRange(item.serverHandle, &low, &high))
                                 return OPC_E_DEADBANDNOTSUPPORTED;
                             if (!IsValidPercentDeadband(pPercentDeadband[i]))
                                 return E_INVALIDARG;
                             item.hasDeadband = true;
                             item.deadband = pPercentDeadband[i];
                             return S_OK;
                         });
}

STDMETHODIMP COpcGroup::GetItemDeadband(DWORD dwCount, OPCHANDLE *phServer, FLOAT **ppPercentDeadband,
                                        HRESULT **ppErrors)
{
    return ForEachHandleInto(dwCount, phServer, ppPercentDeadband, ppErrors,
                             [this](GroupItem &item, DWORD i, FLOAT *deadbands) {
                                 double low = 0.0, high = 0.0;
                                 if (!m_tags.GetEuRange(item.serverHandle, &low, &high))
                                     return OPC_E_DEADBANDNOTSUPPORTED;
                                 if (!item.hasDeadband)
                                     return OPC_E_DEADBANDNOTSET;
                                 deadbands[i] = item.deadband;
                                 return S_OK;
                             });
}

STDMETHODIMP COpcGroup::ClearItemDeadband(DWORD dwCount, OPCHANDLE *phServer, HRESULT **ppErrors)
{
    return ForEachHandle(dwCount, phServer, phServer, ppErrors, [this](GroupItem &item, DWORD) {
        double low = 0.0, high = 0.0;
        if (!m_tags.GetEuRange(item.serverHandle, &low, &high))
            return OPC_E_DEADBANDNOTSUPPORTED;
        if (!item.hasDeadband)
            return OPC_E_DEADBANDNOTSET;
        item.hasDeadband = false;
        return S_OK;
    });
}
