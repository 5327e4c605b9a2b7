// opc_group_sync_io.cpp - IOPCSyncIO and IOPCSyncIO2 of a group. The tag
// table is the cache and there is no device behind it: device reads and
// reads of any maximum age return the current values. Only the group's own
// item handles are valid; values come in each item's requested type, and
// cache reads of an inactive item or group carry the quality "out of
// service". Writes are converted to the tag's type under the server
// object's locale before they are queued for the host.
#include "opc_group.h"

#include "com_memory.h"
#include "opc_constants.h"
#include "opc_data.h"
#include "opc_errors.h"
#include "tag_batch_io.h"
#include "value_coercion.h"

HRESULT COpcGroup::ReadGroupItem(OPCHANDLE handle, bool cache, OPCHANDLE *clientHandle,
                                 VARIANT *value, WORD *quality, FILETIME *timestamp)
{
    VariantInit(value);
    *quality = 0;
    timestamp->dwLowDateTime = timestamp->dwHighDateTime = 0;
    auto found = m_items.find(handle);
    if (found == m_items.end())
        return OPC_E_INVALIDHANDLE;
    const GroupItem &item = found->second;
    if (clientHandle != nullptr)
        *clientHandle = item.clientHandle;
    if (!m_tags.ReadValue(handle, timestamp, quality, value))
        return OPC_E_INVALIDHANDLE;
    if (cache && (!m_active || !item.active))
        *quality = OPC_QUALITY_OUT_OF_SERVICE;
    return CoerceReadValue(value, item.requestedType, m_locale);
}

STDMETHODIMP COpcGroup::Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE *phServer,
                             OPCITEMSTATE **ppItemValues, HRESULT **ppErrors)
{
    if (dwCount == 0 || phServer == nullptr || ppItemValues == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    *ppItemValues = nullptr;
    *ppErrors = nullptr;
    if (dwSource != OPC_DS_CACHE && dwSource != OPC_DS_DEVICE)
        return E_INVALIDARG;
    OPCITEMSTATE *states = TaskAllocArray<OPCITEMSTATE>(dwCount);
    HRESULT *errors = TaskAllocArray<HRESULT>(dwCount);
    if (states == nullptr || errors == nullptr) {
        TaskFree(states);
        TaskFree(errors);
        return E_OUTOFMEMORY;
    }
    {
        CAutoLock guard(m_lock);
        for (DWORD i = 0; i < dwCount; ++i) {
            OPCITEMSTATE &state = states[i];
            errors[i] = ReadGroupItem(phServer[i], dwSource == OPC_DS_CACHE, &state.hClient,
                                      &state.vDataValue, &state.wQuality, &state.ftTimeStamp);
        }
    }
    *ppItemValues = states;
    *ppErrors = errors;
    return PartialResult(errors, dwCount);
}

std::vector<bool> COpcGroup::Membership(DWORD count, const OPCHANDLE *handles)
{
    std::vector<bool> members(count, false);
    CAutoLock guard(m_lock);
    for (DWORD i = 0; i < count; ++i)
        members[i] = m_items.find(handles[i]) != m_items.end();
    return members;
}

LCID COpcGroup::ServerLocale() const
{
    return m_link->locale.load();
}

// Writes every item of the call that is in the group; write(handle, i,
// now, locale) gives one item's result.
template <typename WriteOne>
HRESULT COpcGroup::WriteMembers(DWORD count, const OPCHANDLE *handles, HRESULT **ppErrors,
                                WriteOne write)
{
    *ppErrors = nullptr;
    HRESULT *errors = TaskAllocArray<HRESULT>(count);
    if (errors == nullptr)
        return E_OUTOFMEMORY;
    std::vector<bool> members;
    try {
        members = Membership(count, handles);
    } catch (...) {
        CoTaskMemFree(errors);
        return E_OUTOFMEMORY;
    }
    const FILETIME now = CurrentTime();
    const LCID locale = ServerLocale();
    for (DWORD i = 0; i < count; ++i)
        errors[i] = members[i] ? write(handles[i], i, now, locale) : OPC_E_INVALIDHANDLE;
    *ppErrors = errors;
    return PartialResult(errors, count);
}

STDMETHODIMP COpcGroup::Write(DWORD dwCount, OPCHANDLE *phServer, VARIANT *pItemValues,
                              HRESULT **ppErrors)
{
    if (dwCount == 0 || phServer == nullptr || pItemValues == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    return WriteMembers(dwCount, phServer, ppErrors,
                        [this, pItemValues](OPCHANDLE handle, DWORD i, const FILETIME &now,
                                            LCID locale) {
                            return WriteValue(m_tags, handle, pItemValues[i], now, locale);
                        });
}

STDMETHODIMP COpcGroup::ReadMaxAge(DWORD dwCount, OPCHANDLE *phServer, DWORD *pdwMaxAge,
                                   VARIANT **ppvValues, WORD **ppwQualities,
                                   FILETIME **ppftTimeStamps, HRESULT **ppErrors)
{
    if (phServer == nullptr || pdwMaxAge == nullptr || ppvValues == nullptr ||
        ppwQualities == nullptr || ppftTimeStamps == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    *ppvValues = nullptr;
    *ppwQualities = nullptr;
    *ppftTimeStamps = nullptr;
    *ppErrors = nullptr;
    ValueArrays out;
    if (!out.Allocate(dwCount))
        return E_OUTOFMEMORY;
    {
        // The tag table is always current: every maximum age is met.
        CAutoLock guard(m_lock);
        for (DWORD i = 0; i < dwCount; ++i)
            out.errors[i] = ReadGroupItem(phServer[i], false, nullptr, &out.values[i],
                                          &out.qualities[i], &out.timestamps[i]);
    }
    const HRESULT result = PartialResult(out.errors, dwCount);
    out.HandTo(ppvValues, ppwQualities, ppftTimeStamps, ppErrors);
    return result;
}

STDMETHODIMP COpcGroup::WriteVQT(DWORD dwCount, OPCHANDLE *phServer, OPCITEMVQT *pItemVQT,
                                 HRESULT **ppErrors)
{
    if (dwCount == 0 || phServer == nullptr || pItemVQT == nullptr || ppErrors == nullptr)
        return E_INVALIDARG;
    return WriteMembers(dwCount, phServer, ppErrors,
                        [this, pItemVQT](OPCHANDLE handle, DWORD i, const FILETIME &now,
                                         LCID locale) {
                            return WriteValueVQT(m_tags, handle, pItemVQT[i], now, locale);
                        });
}
