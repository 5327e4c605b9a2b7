// tag_batch_io.cpp - batch reads and writes over the tag table.
#include "tag_batch_io.h"

#include "com_memory.h"
#include "opc_constants.h"
#include "opc_errors.h"

namespace {

FILETIME Now()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return now;
}

// The quality and time stamp a value-quality-timestamp write carries.
void VqtQualityAndTime(const OPCITEMVQT &record, const FILETIME &now, WORD *quality,
                       FILETIME *timestamp)
{
    *quality = record.bQualitySpecified ? record.wQuality : static_cast<WORD>(OPC_QUALITY_GOOD);
    *timestamp = record.bTimeStampSpecified ? record.ftTimeStamp : now;
}

bool HandleOfItemId(COpcData &tags, LPCWSTR itemId, DWORD *handle)
{
    ItemInfo info;
    ZeroMemory(&info, sizeof(info));
    if (!WideToAnsi(itemId, info.itemId, sizeof(info.itemId)) || !tags.LookupItem(info))
        return false;
    *handle = info.handle;
    return true;
}

// Four parallel result arrays, all or none.
struct ValueArrays {
    VARIANT *values = nullptr;
    WORD *qualities = nullptr;
    FILETIME *timestamps = nullptr;
    HRESULT *errors = nullptr;

    bool Allocate(DWORD count)
    {
        values = TaskAllocArray<VARIANT>(count);
        qualities = TaskAllocArray<WORD>(count);
        timestamps = TaskAllocArray<FILETIME>(count);
        errors = TaskAllocArray<HRESULT>(count);
        if (values != nullptr && qualities != nullptr && timestamps != nullptr && errors != nullptr)
            return true;
        TaskFree(values);
        TaskFree(qualities);
        TaskFree(timestamps);
        TaskFree(errors);
        return false;
    }

    void HandTo(VARIANT **v, WORD **q, FILETIME **t, HRESULT **e)
    {
        *v = values;
        *q = qualities;
        *t = timestamps;
        *e = errors;
    }
};

void ClearOutputs(VARIANT **values, WORD **qualities, FILETIME **timestamps, HRESULT **errors)
{
    *values = nullptr;
    *qualities = nullptr;
    *timestamps = nullptr;
    *errors = nullptr;
}

} // namespace

HRESULT ReadItems(COpcData &tags, DWORD count, const OPCHANDLE *handles, OPCITEMSTATE **states,
                  HRESULT **errors)
{
    *states = nullptr;
    *errors = nullptr;
    OPCITEMSTATE *stateArray = TaskAllocArray<OPCITEMSTATE>(count);
    HRESULT *errorArray = TaskAllocArray<HRESULT>(count);
    if (stateArray == nullptr || errorArray == nullptr) {
        TaskFree(stateArray);
        TaskFree(errorArray);
        return E_OUTOFMEMORY;
    }
    for (DWORD i = 0; i < count; ++i) {
        OPCITEMSTATE &state = stateArray[i];
        state.hClient = 0;
        state.wReserved = 0;
        errorArray[i] = tags.ReadValue(handles[i], &state.ftTimeStamp, &state.wQuality,
                                       &state.vDataValue)
                            ? S_OK
                            : OPC_E_INVALIDHANDLE;
    }
    *states = stateArray;
    *errors = errorArray;
    return S_OK;
}

HRESULT ReadItemsMaxAge(COpcData &tags, DWORD count, const OPCHANDLE *handles, VARIANT **values,
                        WORD **qualities, FILETIME **timestamps, HRESULT **errors)
{
    ClearOutputs(values, qualities, timestamps, errors);
    ValueArrays out;
    if (!out.Allocate(count))
        return E_OUTOFMEMORY;
    for (DWORD i = 0; i < count; ++i) {
        out.errors[i] = tags.ReadValue(handles[i], &out.timestamps[i], &out.qualities[i],
                                       &out.values[i])
                            ? S_OK
                            : OPC_E_INVALIDHANDLE;
    }
    out.HandTo(values, qualities, timestamps, errors);
    return S_OK;
}

HRESULT ReadItemIDs(COpcData &tags, DWORD count, LPCWSTR *itemIds, VARIANT **values,
                    WORD **qualities, FILETIME **timestamps, HRESULT **errors)
{
    ClearOutputs(values, qualities, timestamps, errors);
    ValueArrays out;
    if (!out.Allocate(count))
        return E_OUTOFMEMORY;
    for (DWORD i = 0; i < count; ++i) {
        DWORD handle = 0;
        VariantInit(&out.values[i]);
        out.errors[i] = HandleOfItemId(tags, itemIds[i], &handle) &&
                                tags.ReadValue(handle, &out.timestamps[i], &out.qualities[i],
                                               &out.values[i])
                            ? S_OK
                            : OPC_E_INVALIDHANDLE;
    }
    out.HandTo(values, qualities, timestamps, errors);
    return S_OK;
}

HRESULT WriteItems(COpcData &tags, DWORD count, const OPCHANDLE *handles, const VARIANT *values,
                   HRESULT **errors)
{
    HRESULT *errorArray = nullptr;
    if (errors != nullptr) {
        *errors = nullptr;
        errorArray = TaskAllocArray<HRESULT>(count);
        if (errorArray == nullptr)
            return E_OUTOFMEMORY;
    }
    const FILETIME now = Now();
    for (DWORD i = 0; i < count; ++i) {
        HRESULT hr = tags.WriteItem(handles[i], now, OPC_QUALITY_GOOD, values[i]);
        if (errorArray != nullptr)
            errorArray[i] = hr;
    }
    if (errors != nullptr)
        *errors = errorArray;
    return S_OK;
}

HRESULT WriteItemsVQT(COpcData &tags, DWORD count, const OPCHANDLE *handles,
                      const OPCITEMVQT *records, HRESULT **errors)
{
    HRESULT *errorArray = nullptr;
    if (errors != nullptr) {
        *errors = nullptr;
        errorArray = TaskAllocArray<HRESULT>(count);
        if (errorArray == nullptr)
            return E_OUTOFMEMORY;
    }
    const FILETIME now = Now();
    for (DWORD i = 0; i < count; ++i) {
        WORD quality;
        FILETIME timestamp;
        VqtQualityAndTime(records[i], now, &quality, &timestamp);
        HRESULT hr = tags.WriteItem(handles[i], timestamp, quality, records[i].vDataValue);
        if (errorArray != nullptr)
            errorArray[i] = hr;
    }
    if (errors != nullptr)
        *errors = errorArray;
    return S_OK;
}

HRESULT WriteItemIDsVQT(COpcData &tags, DWORD count, LPCWSTR *itemIds, const OPCITEMVQT *records,
                        HRESULT **errors)
{
    *errors = nullptr;
    HRESULT *errorArray = TaskAllocArray<HRESULT>(count);
    if (errorArray == nullptr)
        return E_OUTOFMEMORY;
    const FILETIME now = Now();
    for (DWORD i = 0; i < count; ++i) {
        DWORD handle = 0;
        if (!HandleOfItemId(tags, itemIds[i], &handle)) {
            errorArray[i] = OPC_E_INVALIDHANDLE;
            continue;
        }
        WORD quality;
        FILETIME timestamp;
        VqtQualityAndTime(records[i], now, &quality, &timestamp);
        errorArray[i] = tags.WriteItem(handle, timestamp, quality, records[i].vDataValue);
    }
    *errors = errorArray;
    return S_OK;
}
