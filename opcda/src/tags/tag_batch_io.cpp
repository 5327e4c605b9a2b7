// tag_batch_io.cpp - reads and writes over the tag table.
#include "tag_batch_io.h"

#include "com_memory.h"
#include "opc_constants.h"
#include "opc_errors.h"

namespace {

bool HandleOfItemId(COpcData &tags, LPCWSTR itemId, DWORD *handle)
{
    ItemInfo info;
    ZeroMemory(&info, sizeof(info));
    if (!WideToAnsi(itemId, info.itemId, sizeof(info.itemId)) || !tags.LookupItem(info))
        return false;
    *handle = info.handle;
    return true;
}

void ClearOutputs(VARIANT **values, WORD **qualities, FILETIME **timestamps, HRESULT **errors)
{
    *values = nullptr;
    *qualities = nullptr;
    *timestamps = nullptr;
    *errors = nullptr;
}

} // namespace

ValueArrays::~ValueArrays()
{
    TaskFree(values);
    TaskFree(qualities);
    TaskFree(timestamps);
    TaskFree(errors);
}

bool ValueArrays::Allocate(DWORD count)
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

void ValueArrays::HandTo(VARIANT **v, WORD **q, FILETIME **t, HRESULT **e)
{
    *v = values;
    *q = qualities;
    *t = timestamps;
    *e = errors;
    values = nullptr;
    qualities = nullptr;
    timestamps = nullptr;
    errors = nullptr;
}

FILETIME CurrentTime()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return now;
}

HRESULT PartialResult(const HRESULT *errors, DWORD count)
{
    for (DWORD i = 0; i < count; ++i) {
        if (FAILED(errors[i]))
            return S_FALSE;
    }
    return S_OK;
}

HRESULT WriteValue(COpcData &tags, DWORD handle, const VARIANT &value, const FILETIME &now,
                   LCID lcid)
{
    return tags.WriteItem(handle, now, OPC_QUALITY_GOOD, value, lcid);
}

// The host takes values only: a write that asks for a quality or a time
// stamp of its own cannot be carried out as asked, and none of it is
// written.
HRESULT WriteValueVQT(COpcData &tags, DWORD handle, const OPCITEMVQT &record, const FILETIME &now,
                      LCID lcid)
{
    if (record.bQualitySpecified || record.bTimeStampSpecified)
        return OPC_E_NOTSUPPORTED;
    return tags.WriteItem(handle, now, OPC_QUALITY_GOOD, record.vDataValue, lcid);
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
                            : OPC_E_UNKNOWNITEMID;
    }
    const HRESULT result = PartialResult(out.errors, count);
    out.HandTo(values, qualities, timestamps, errors);
    return result;
}

HRESULT WriteItemIDsVQT(COpcData &tags, DWORD count, LPCWSTR *itemIds, const OPCITEMVQT *records,
                        LCID lcid, HRESULT **errors)
{
    *errors = nullptr;
    HRESULT *errorArray = TaskAllocArray<HRESULT>(count);
    if (errorArray == nullptr)
        return E_OUTOFMEMORY;
    const FILETIME now = CurrentTime();
    for (DWORD i = 0; i < count; ++i) {
        DWORD handle = 0;
        errorArray[i] = HandleOfItemId(tags, itemIds[i], &handle)
                            ? WriteValueVQT(tags, handle, records[i], now, lcid)
                            : OPC_E_UNKNOWNITEMID;
    }
    *errors = errorArray;
    return PartialResult(errorArray, count);
}
