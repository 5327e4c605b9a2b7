// data_stream.h - the OPC DA 1.0 data stream that IDataObject advise sinks
// receive: group header, one item header per item (20 bytes with time, 12
// without), then the value images, in one movable global memory block.
// A value image is the VARIANT as held in memory, followed for texts by a
// byte count, the UTF-16 characters and a NUL, and for arrays by the array
// descriptor (data pointer 0) and the element data. The images are those of
// the server's own bitness (i686 ships): a 64-bit DA 1.0 client would have
// to read 32-bit VARIANT layouts.
#pragma once

#include "delivery.h"

#include <windows.h>

#include <vector>

// Size of the value image of one VARIANT.
size_t ValueImageSize(const VARIANT &value);

// The whole stream; null when memory is exhausted.
HGLOBAL BuildDataStream(const ItemValues &items, OPCHANDLE clientGroup, DWORD transactionId,
                        bool withTime);

// The write-complete stream of an IOPCAsyncIO::Write: group header (status
// S_FALSE when some item failed), then client handle and result per item.
HGLOBAL BuildWriteCompleteStream(OPCHANDLE clientGroup, DWORD transactionId,
                                 const std::vector<OPCHANDLE> &clientHandles,
                                 const std::vector<HRESULT> &errors);
