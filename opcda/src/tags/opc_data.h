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
    // reads as VT_EMPTY, quality 0 and time stamp 0, and the read succeeds.
    virtual bool ReadValue(DWORD handle, FILETIME *timestamp, WORD *quality,
                           VARIANT *value) = 0;
    virtual bool GetChangeStamp(DWORD handle, DWORD *stamp) = 0;
    virtual bool AddItemRef(DWORD handle, DWORD updateRate) = 0;
    virtual bool ReleaseItemRef(DWORD handle) = 0;
    // Queues a client write for the host: S_OK, OPC_E_INVALIDHANDLE,
    // OPC_E_BADRIGHTS or E_FAIL (write ring full). The tag keeps its value.
    virtual HRESULT WriteItem(DWORD handle, const FILETIME &timestamp, WORD quality,
                              const VARIANT &value) = 0;
};
