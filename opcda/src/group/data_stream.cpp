// data_stream.cpp - OPC DA 1.0 data stream layout.
#include "data_stream.h"

#include <cstddef>
#include <cstring>

namespace {

// The array descriptor with its first bound: 24 bytes on i686.
const size_t kDescriptorSize = offsetof(SAFEARRAY, rgsabound) + sizeof(SAFEARRAYBOUND);

size_t TextImageSize(BSTR text)
{
    return sizeof(DWORD) + (text != nullptr ? SysStringByteLen(text) : 0) + sizeof(WCHAR);
}

bool IsArray(const VARIANT &value)
{
    return (V_VT(&value) & VT_ARRAY) != 0;
}

bool IsTextArray(const VARIANT &value)
{
    return V_VT(&value) == (VT_ARRAY | VT_BSTR);
}

ULONG ElementCount(const SAFEARRAY *array)
{
    return array != nullptr && array->cDims > 0 ? array->rgsabound[0].cElements : 0;
}

BYTE *WriteText(BYTE *out, BSTR text)
{
    const DWORD bytes = text != nullptr ? SysStringByteLen(text) : 0;
    std::memcpy(out, &bytes, sizeof(bytes));
    out += sizeof(bytes);
    if (bytes != 0) {
        std::memcpy(out, text, bytes);
        out += bytes;
    }
    out[0] = 0;
    out[1] = 0;
    return out + sizeof(WCHAR);
}

BYTE *WriteValue(BYTE *out, const VARIANT &value)
{
    std::memcpy(out, &value, sizeof(VARIANT));
    out += sizeof(VARIANT);
    if (V_VT(&value) == VT_BSTR)
        return WriteText(out, V_BSTR(&value));
    if (!IsArray(value))
        return out;

    SAFEARRAY *array = V_ARRAY(&value);
    void *data = nullptr;
    if (array == nullptr || FAILED(SafeArrayAccessData(array, &data))) {
        std::memset(out, 0, kDescriptorSize);
        return out + kDescriptorSize;
    }
    std::memcpy(out, array, kDescriptorSize);
    SAFEARRAY *image = reinterpret_cast<SAFEARRAY *>(out);
    image->pvData = nullptr;
    image->cLocks = array->cLocks - 1; // as it was before this access
    out += kDescriptorSize;
    const ULONG count = ElementCount(array);
    if (IsTextArray(value)) {
        BSTR *texts = static_cast<BSTR *>(data);
        for (ULONG i = 0; i < count; ++i)
            out = WriteText(out, texts[i]);
    } else {
        const size_t bytes = static_cast<size_t>(count) * array->cbElements;
        std::memcpy(out, data, bytes);
        out += bytes;
    }
    SafeArrayUnaccessData(array);
    return out;
}

} // namespace

size_t ValueImageSize(const VARIANT &value)
{
    size_t size = sizeof(VARIANT);
    if (V_VT(&value) == VT_BSTR)
        return size + TextImageSize(V_BSTR(&value));
    if (!IsArray(value))
        return size;
    size += kDescriptorSize;
    SAFEARRAY *array = V_ARRAY(&value);
    void *data = nullptr;
    if (array == nullptr || FAILED(SafeArrayAccessData(array, &data)))
        return size;
    const ULONG count = ElementCount(array);
    if (IsTextArray(value)) {
        BSTR *texts = static_cast<BSTR *>(data);
        for (ULONG i = 0; i < count; ++i)
            size += TextImageSize(texts[i]);
    } else {
        size += static_cast<size_t>(count) * array->cbElements;
    }
    SafeArrayUnaccessData(array);
    return size;
}

namespace {

// A zeroed movable, shareable block, locked at *base; null when memory is
// exhausted.
HGLOBAL AllocateStreamBlock(size_t size, BYTE **base)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE | GMEM_ZEROINIT, size);
    if (block == nullptr)
        return nullptr;
    *base = static_cast<BYTE *>(GlobalLock(block));
    if (*base == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    return block;
}

} // namespace

HGLOBAL BuildDataStream(const ItemValues &items, OPCHANDLE clientGroup, DWORD transactionId,
                        bool withTime)
{
    const size_t headerSize = withTime ? sizeof(OPCITEMHEADER1) : sizeof(OPCITEMHEADER2);
    size_t total = sizeof(OPCGROUPHEADER) + items.count * headerSize;
    for (DWORD i = 0; i < items.count; ++i)
        total += ValueImageSize(items.values[i]);

    BYTE *base = nullptr;
    HGLOBAL block = AllocateStreamBlock(total, &base);
    if (block == nullptr)
        return nullptr;

    OPCGROUPHEADER group;
    group.dwSize = static_cast<DWORD>(total);
    group.dwItemCount = items.count;
    group.hClientGroup = clientGroup;
    group.dwTransactionID = transactionId;
    group.hrStatus = S_OK;
    std::memcpy(base, &group, sizeof(group));

    BYTE *header = base + sizeof(OPCGROUPHEADER);
    BYTE *value = header + items.count * headerSize;
    for (DWORD i = 0; i < items.count; ++i, header += headerSize) {
        const DWORD offset = static_cast<DWORD>(value - base);
        if (withTime) {
            OPCITEMHEADER1 h;
            h.hClient = items.clientHandles[i];
            h.dwValueOffset = offset;
            h.wQuality = items.qualities[i];
            h.wReserved = 0;
            h.ftTimeStampItem = items.timestamps[i];
            std::memcpy(header, &h, sizeof(h));
        } else {
            OPCITEMHEADER2 h;
            h.hClient = items.clientHandles[i];
            h.dwValueOffset = offset;
            h.wQuality = items.qualities[i];
            h.wReserved = 0;
            std::memcpy(header, &h, sizeof(h));
        }
        value = WriteValue(value, items.values[i]);
    }
    GlobalUnlock(block);
    return block;
}

HGLOBAL BuildWriteCompleteStream(OPCHANDLE clientGroup, DWORD transactionId,
                                 const std::vector<OPCHANDLE> &clientHandles,
                                 const std::vector<HRESULT> &errors)
{
    const DWORD count = static_cast<DWORD>(errors.size());
    const size_t total = sizeof(OPCGROUPHEADERWRITE) + count * sizeof(OPCITEMHEADERWRITE);
    BYTE *base = nullptr;
    HGLOBAL block = AllocateStreamBlock(total, &base);
    if (block == nullptr)
        return nullptr;
    OPCGROUPHEADERWRITE group;
    group.dwItemCount = count;
    group.hClientGroup = clientGroup;
    group.dwTransactionID = transactionId;
    group.hrStatus = S_OK;
    for (HRESULT e : errors) {
        if (e != S_OK)
            group.hrStatus = S_FALSE;
    }
    std::memcpy(base, &group, sizeof(group));
    for (DWORD i = 0; i < count; ++i) {
        OPCITEMHEADERWRITE item;
        item.hClient = clientHandles[i];
        item.dwError = errors[i];
        std::memcpy(base + sizeof(group) + i * sizeof(item), &item, sizeof(item));
    }
    GlobalUnlock(block);
    return block;
}
