// stream_image.cpp - expected OPC DA 1.0 data streams.
#include "stream_image.h"

#include <cstdio>
#include <cstring>

namespace iotest {

namespace {

template <typename T>
void Put(std::vector<BYTE> &bytes, std::vector<bool> &checked, const T &value, bool check = true)
{
    const BYTE *p = reinterpret_cast<const BYTE *>(&value);
    bytes.insert(bytes.end(), p, p + sizeof(T));
    checked.insert(checked.end(), sizeof(T), check);
}

void PutUnchecked(std::vector<BYTE> &bytes, std::vector<bool> &checked, size_t count)
{
    bytes.insert(bytes.end(), count, 0);
    checked.insert(checked.end(), count, false);
}

void PutZeros(std::vector<BYTE> &bytes, std::vector<bool> &checked, size_t count)
{
    bytes.insert(bytes.end(), count, 0);
    checked.insert(checked.end(), count, true);
}

// VARIANT image: the type word, three reserved words, then the value
// bytes at offset 8; the rest of the union is not looked at.
void PutVariant(std::vector<BYTE> &bytes, std::vector<bool> &checked, VARTYPE type,
                const std::vector<BYTE> &value)
{
    Put(bytes, checked, type);
    PutUnchecked(bytes, checked, 6);
    for (BYTE b : value)
        Put(bytes, checked, b);
    PutUnchecked(bytes, checked, kVariantImageSize - 8 - value.size());
}

// Byte length, characters, NUL.
void PutText(std::vector<BYTE> &bytes, std::vector<bool> &checked, const std::wstring &text)
{
    const DWORD length = static_cast<DWORD>(text.size() * sizeof(WCHAR));
    Put(bytes, checked, length);
    for (wchar_t c : text)
        Put(bytes, checked, static_cast<WORD>(c));
    Put(bytes, checked, static_cast<WORD>(0));
}

size_t TextSize(const std::wstring &text)
{
    return sizeof(DWORD) + text.size() * sizeof(WCHAR) + sizeof(WCHAR);
}

// Descriptor with one bound: dimensions 1, features (not looked at),
// element size, lock count 0, data pointer 0, element count, lower bound 0.
void PutDescriptor(std::vector<BYTE> &bytes, std::vector<bool> &checked, DWORD elementSize,
                   DWORD elementCount)
{
    Put(bytes, checked, static_cast<WORD>(1));
    PutUnchecked(bytes, checked, 2);
    Put(bytes, checked, elementSize);
    Put(bytes, checked, static_cast<DWORD>(0));
    const size_t pointerSize = kDescriptorImageSize == 24 ? 4 : 8;
    if (pointerSize == 8)
        PutUnchecked(bytes, checked, 4); // alignment of the data pointer
    PutZeros(bytes, checked, pointerSize);
    Put(bytes, checked, elementCount);
    Put(bytes, checked, static_cast<LONG>(0));
}

template <typename T>
std::vector<BYTE> ScalarBytes(const T &value)
{
    const BYTE *p = reinterpret_cast<const BYTE *>(&value);
    return std::vector<BYTE>(p, p + sizeof(T));
}

} // namespace

ValueImage ValueImage::Integer(LONG value)
{
    ValueImage image(kScalar, VT_I4);
    image.m_scalar = ScalarBytes(value);
    return image;
}

ValueImage ValueImage::Double(double value)
{
    ValueImage image(kScalar, VT_R8);
    image.m_scalar = ScalarBytes(value);
    return image;
}

ValueImage ValueImage::Float(float value)
{
    ValueImage image(kScalar, VT_R4);
    image.m_scalar = ScalarBytes(value);
    return image;
}

ValueImage ValueImage::Boolean(bool value)
{
    ValueImage image(kScalar, VT_BOOL);
    image.m_scalar = ScalarBytes(static_cast<VARIANT_BOOL>(value ? VARIANT_TRUE : VARIANT_FALSE));
    return image;
}

ValueImage ValueImage::Empty()
{
    return ValueImage(kScalar, VT_EMPTY);
}

ValueImage ValueImage::Text(const wchar_t *text)
{
    ValueImage image(kText, VT_BSTR);
    image.m_nullText = text == nullptr;
    if (text != nullptr)
        image.m_text = text;
    return image;
}

ValueImage ValueImage::Bytes(const std::vector<BYTE> &bytes)
{
    ValueImage image(kByteArray, VT_ARRAY | VT_UI1);
    image.m_bytes = bytes;
    return image;
}

ValueImage ValueImage::Texts(const std::vector<const wchar_t *> &texts)
{
    ValueImage image(kTextArray, VT_ARRAY | VT_BSTR);
    for (const wchar_t *text : texts)
        image.m_texts.emplace_back(text == nullptr, text != nullptr ? text : L"");
    return image;
}

ValueImage ValueImage::NullArray(VARTYPE elementType)
{
    return ValueImage(kNullArray, static_cast<VARTYPE>(VT_ARRAY | elementType));
}

size_t ValueImage::Size() const
{
    switch (m_kind) {
    case kScalar:
        return kVariantImageSize;
    case kText:
        return kVariantImageSize + TextSize(m_text);
    case kByteArray:
        return kVariantImageSize + kDescriptorImageSize + m_bytes.size();
    case kTextArray: {
        size_t size = kVariantImageSize + kDescriptorImageSize;
        for (const auto &text : m_texts)
            size += TextSize(text.second);
        return size;
    }
    case kNullArray:
        return kVariantImageSize + kDescriptorImageSize;
    }
    return 0;
}

void ValueImage::Append(std::vector<BYTE> &bytes, std::vector<bool> &checked) const
{
    switch (m_kind) {
    case kScalar:
        PutVariant(bytes, checked, m_type, m_scalar);
        return;
    case kText:
        PutVariant(bytes, checked, m_type, {});
        PutText(bytes, checked, m_text);
        return;
    case kByteArray:
        PutVariant(bytes, checked, m_type, {});
        PutDescriptor(bytes, checked, 1, static_cast<DWORD>(m_bytes.size()));
        for (BYTE b : m_bytes)
            Put(bytes, checked, b);
        return;
    case kTextArray:
        PutVariant(bytes, checked, m_type, {});
        PutDescriptor(bytes, checked, static_cast<DWORD>(sizeof(BSTR)),
                      static_cast<DWORD>(m_texts.size()));
        for (const auto &text : m_texts)
            PutText(bytes, checked, text.second);
        return;
    case kNullArray:
        PutVariant(bytes, checked, m_type, {});
        PutZeros(bytes, checked, kDescriptorImageSize);
        return;
    }
}

void ExpectedStream::AddItem(OPCHANDLE clientHandle, WORD quality, const FILETIME &timestamp,
                             const ValueImage &value)
{
    m_items.push_back({clientHandle, quality, timestamp, value});
}

size_t ExpectedStream::Size() const
{
    size_t size = kGroupHeaderSize +
                  m_items.size() * (m_withTime ? kItemHeaderWithTime : kItemHeaderWithoutTime);
    for (const Item &item : m_items)
        size += item.value.Size();
    return size;
}

void ExpectedStream::Build(OPCHANDLE clientGroup, DWORD transactionId, std::vector<BYTE> *bytes,
                           std::vector<bool> *checked) const
{
    std::vector<BYTE> &b = *bytes;
    std::vector<bool> &c = *checked;
    b.clear();
    c.clear();
    Put(b, c, static_cast<DWORD>(Size()));
    Put(b, c, static_cast<DWORD>(m_items.size()));
    Put(b, c, static_cast<DWORD>(clientGroup));
    Put(b, c, transactionId);
    Put(b, c, static_cast<LONG>(S_OK));

    DWORD valueOffset = static_cast<DWORD>(
        kGroupHeaderSize +
        m_items.size() * (m_withTime ? kItemHeaderWithTime : kItemHeaderWithoutTime));
    for (const Item &item : m_items) {
        Put(b, c, static_cast<DWORD>(item.clientHandle));
        Put(b, c, valueOffset);
        Put(b, c, item.quality);
        Put(b, c, static_cast<WORD>(0));
        if (m_withTime) {
            Put(b, c, item.timestamp.dwLowDateTime);
            Put(b, c, item.timestamp.dwHighDateTime);
        }
        valueOffset += static_cast<DWORD>(item.value.Size());
    }
    for (const Item &item : m_items)
        item.value.Append(b, c);
}

std::string CompareStream(const std::vector<BYTE> &actual, const std::vector<BYTE> &expected,
                          const std::vector<bool> &checked)
{
    char text[160];
    if (actual.size() != expected.size()) {
        std::snprintf(text, sizeof(text), "stream of %u bytes, expected %u",
                      static_cast<unsigned>(actual.size()), static_cast<unsigned>(expected.size()));
        return text;
    }
    for (size_t i = 0; i < actual.size(); ++i) {
        if (checked[i] && actual[i] != expected[i]) {
            std::snprintf(text, sizeof(text), "byte %u is 0x%02x, expected 0x%02x",
                          static_cast<unsigned>(i), actual[i], expected[i]);
            return text;
        }
    }
    return std::string();
}

DWORD StreamDword(const std::vector<BYTE> &bytes, size_t offset)
{
    DWORD value = 0;
    if (offset + sizeof(value) <= bytes.size())
        std::memcpy(&value, &bytes[offset], sizeof(value));
    return value;
}

WORD StreamWord(const std::vector<BYTE> &bytes, size_t offset)
{
    WORD value = 0;
    if (offset + sizeof(value) <= bytes.size())
        std::memcpy(&value, &bytes[offset], sizeof(value));
    return value;
}

} // namespace iotest
