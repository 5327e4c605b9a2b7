// tag_batch_io.h - the batch reads and writes behind the OPC read and write
// methods, over the tag table: one table operation per item, results in
// task-memory arrays owned by the caller, per-item errors filled.
#pragma once

#include "opc_data.h"
#include "opc_interfaces.h"

// OPCITEMSTATE per handle (hClient 0); unknown handle: OPC_E_INVALIDHANDLE.
HRESULT ReadItems(COpcData &tags, DWORD count, const OPCHANDLE *handles,
                  OPCITEMSTATE **states, HRESULT **errors);
// Value, quality and time stamp arrays per handle.
HRESULT ReadItemsMaxAge(COpcData &tags, DWORD count, const OPCHANDLE *handles, VARIANT **values,
                        WORD **qualities, FILETIME **timestamps, HRESULT **errors);
// The same by item ID; an unknown or unconvertible ID: OPC_E_INVALIDHANDLE.
HRESULT ReadItemIDs(COpcData &tags, DWORD count, LPCWSTR *itemIds, VARIANT **values,
                    WORD **qualities, FILETIME **timestamps, HRESULT **errors);

// Client writes, queued for the host with quality 192 and the time of the
// call. errors may be null when the caller does not want them.
HRESULT WriteItems(COpcData &tags, DWORD count, const OPCHANDLE *handles, const VARIANT *values,
                   HRESULT **errors);
// Writes with the quality and time stamp the client specified (else 192
// and the time of the call).
HRESULT WriteItemsVQT(COpcData &tags, DWORD count, const OPCHANDLE *handles,
                      const OPCITEMVQT *records, HRESULT **errors);
HRESULT WriteItemIDsVQT(COpcData &tags, DWORD count, LPCWSTR *itemIds, const OPCITEMVQT *records,
                        HRESULT **errors);
