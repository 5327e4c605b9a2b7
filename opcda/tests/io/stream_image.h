// stream_image.h - the OPC DA 1.0 data stream a client must receive, written
// down from the layout clients rely on: a 20-byte group header, one item
// header per item (20 bytes with time, 12 without), then one value image
// per item. A value image is the raw VARIANT, followed for a text by its
// byte length, UTF-16 characters and a NUL, and for an array by the array
// descriptor with one bound (data pointer 0) and the element data (texts
// one after another as byte length, characters, NUL). Besides the bytes it
// says which of them a receiver may rely on: not the reserved words of a
// VARIANT, not its unused value bytes, not its pointers.
#pragma once

#include "opc_interfaces.h"

#include <string>
#include <vector>

namespace iotest {

// The raw images this build's stream carries: on i686 the 16-byte VARIANT
// and the 24-byte descriptor; on x86_64 the native 24 and 32 bytes.
#if defined(__i386__)
const size_t kVariantImageSize = 16;
const size_t kDescriptorImageSize = 24;
#else
const size_t kVariantImageSize = 24;
const size_t kDescriptorImageSize = 32;
#endif
const size_t kGroupHeaderSize = 20;
const size_t kItemHeaderWithTime = 20;
const size_t kItemHeaderWithoutTime = 12;

// The expected image of one value.
class ValueImage {
public:
    static ValueImage Integer(LONG value);   // VT_I4
    static ValueImage Double(double value);  // VT_R8
    static ValueImage Float(float value);    // VT_R4
    static ValueImage Boolean(bool value);   // VT_BOOL
    static ValueImage Empty();               // VT_EMPTY
    // VT_BSTR; a null text is a null BSTR.
    static ValueImage Text(const wchar_t *text);
    // VT_ARRAY | VT_UI1 with these bytes (lower bound 0).
    static ValueImage Bytes(const std::vector<BYTE> &bytes);
    // VT_ARRAY | VT_BSTR with these texts (null entries are null BSTRs).
    static ValueImage Texts(const std::vector<const wchar_t *> &texts);
    // VT_ARRAY | elementType without an array.
    static ValueImage NullArray(VARTYPE elementType);

    size_t Size() const;
    void Append(std::vector<BYTE> &bytes, std::vector<bool> &checked) const;

private:
    enum Kind { kScalar, kText, kByteArray, kTextArray, kNullArray };
    ValueImage(Kind kind, VARTYPE type) : m_kind(kind), m_type(type) {}

    Kind m_kind;
    VARTYPE m_type;
    std::vector<BYTE> m_scalar; // the value bytes at offset 8 of the VARIANT
    bool m_nullText = false;
    std::wstring m_text;
    std::vector<BYTE> m_bytes;
    std::vector<std::pair<bool, std::wstring>> m_texts; // (null, text)
};

class ExpectedStream {
public:
    explicit ExpectedStream(bool withTime) : m_withTime(withTime) {}
    void AddItem(OPCHANDLE clientHandle, WORD quality, const FILETIME &timestamp,
                 const ValueImage &value);
    // The whole block, and for each byte whether a receiver may rely on it.
    void Build(OPCHANDLE clientGroup, DWORD transactionId, std::vector<BYTE> *bytes,
               std::vector<bool> *checked) const;
    size_t Size() const;

private:
    struct Item {
        OPCHANDLE clientHandle;
        WORD quality;
        FILETIME timestamp;
        ValueImage value;
    };
    bool m_withTime;
    std::vector<Item> m_items;
};

// Empty when actual has the expected length and every checked byte;
// otherwise a description of the first difference.
std::string CompareStream(const std::vector<BYTE> &actual, const std::vector<BYTE> &expected,
                          const std::vector<bool> &checked);

// Little-endian fields of a received stream.
DWORD StreamDword(const std::vector<BYTE> &bytes, size_t offset);
WORD StreamWord(const std::vector<BYTE> &bytes, size_t offset);

} // namespace iotest
