// tag_batch_io.h - reads and writes over the tag table behind the OPC read
// and write methods: one table operation per item, results in task-memory
// arrays owned by the caller, per-item errors filled.
#pragma once

#include "opc_data.h"
#include "opc_interfaces.h"

// Four parallel task-memory result arrays (values, qualities, time stamps,
// errors), allocated all or none; freed unless handed to the caller.
struct ValueArrays {
    VARIANT *values = nullptr;
    WORD *qualities = nullptr;
    FILETIME *timestamps = nullptr;
    HRESULT *errors = nullptr;

    ValueArrays() = default;
    ValueArrays(const ValueArrays &) = delete;
    ValueArrays &operator=(const ValueArrays &) = delete;
    ~ValueArrays();

    bool Allocate(DWORD count);
    // Gives the arrays to the caller's out pointers.
    void HandTo(VARIANT **v, WORD **q, FILETIME **t, HRESULT **e);
};

// The current UTC time.
FILETIME CurrentTime();
// S_FALSE when any of the per-item results is a failure, else S_OK (a
// per-item success code such as OPC_S_UNSUPPORTEDRATE is no failure).
HRESULT PartialResult(const HRESULT *errors, DWORD count);

// One client write with quality 192 and the time of the call (now).
HRESULT WriteValue(COpcData &tags, DWORD handle, const VARIANT &value, const FILETIME &now,
                   LCID lcid);
// One write of a value-quality-time record: the value alone, with 192 and
// now; OPC_E_NOTSUPPORTED (nothing written) when the record specifies a
// quality or a time stamp, which the host cannot take.
HRESULT WriteValueVQT(COpcData &tags, DWORD handle, const OPCITEMVQT &record, const FILETIME &now,
                      LCID lcid);

// Reads and writes by item ID (IOPCItemIO); an unknown or unconvertible ID
// gets OPC_E_UNKNOWNITEMID. S_FALSE when some item failed.
HRESULT ReadItemIDs(COpcData &tags, DWORD count, LPCWSTR *itemIds, VARIANT **values,
                    WORD **qualities, FILETIME **timestamps, HRESULT **errors);
HRESULT WriteItemIDsVQT(COpcData &tags, DWORD count, LPCWSTR *itemIds, const OPCITEMVQT *records,
                        LCID lcid, HRESULT **errors);
