// opc_data.h - the tag table as the OPC objects see it: lookups, reads,
// change stamps, item references and client writes, each one operation
// under the table's lock.
#pragma once

#include "tag_record.h"

class COpcData {
public:
    virtual ~COpcData() = default;

    // item ID filled in by the caller; true with the other fields filled.
    virtual bool LookupItem(ItemInfo &info) = 0;
    // The same, found by handle: item ID and the other fields filled.
    virtual bool LookupHandle(DWORD handle, ItemInfo &info) = 0;
    // Copies time stamp, quality and value of a handle. A tag never set
    // reads as VT_EMPTY with quality "bad, waiting for initial data" (0x20)
    // and time stamp 0, and the read succeeds.
    virtual bool ReadValue(DWORD handle, FILETIME *timestamp, WORD *quality,
                           VARIANT *value) = 0;
    virtual bool GetChangeStamp(DWORD handle, DWORD *stamp) = 0;
    // A number that moves whenever any tag's change stamp moves: a group
    // that finds it where it was at its last scan has nothing new to look
    // at.
    virtual DWORD ChangeSerial() = 0;
    // The same for many handles under one table lock (a group's scan):
    // stamps[i] is 0 for a tag never set and for an unknown handle.
    virtual void GetChangeStamps(DWORD count, const DWORD *handles, DWORD *stamps) = 0;
    // ReadValue of many handles under one table lock; found[i] is false
    // (and the fields cleared) for an unknown handle.
    virtual void ReadValues(DWORD count, const DWORD *handles, FILETIME *timestamps,
                            WORD *qualities, VARIANT *values, bool *found) = 0;
    virtual bool AddItemRef(DWORD handle, DWORD updateRate) = 0;
    virtual bool ReleaseItemRef(DWORD handle) = 0;
    // Converts a client write to the tag's canonical type (OLE conversion
    // under lcid) and queues it for the host: S_OK, OPC_E_INVALIDHANDLE,
    // OPC_E_BADRIGHTS, OPC_E_BADTYPE, OPC_E_RANGE or E_FAIL (write ring
    // full). The tag keeps its value.
    virtual HRESULT WriteItem(DWORD handle, const FILETIME &timestamp, WORD quality,
                              const VARIANT &value, LCID lcid) = 0;
    // The engineering-unit range the host set for a tag (an analog item);
    // false when none was set or the handle is unknown.
    virtual bool GetEuRange(DWORD handle, double *low, double *high) = 0;
};
