// The byte layout of the OPC DA 1.0 data stream, built in process from
// values made by hand, for the value kinds a host cannot push: null texts,
// arrays of texts, arrays without data. The raw images are the native
// VARIANT and array descriptor: 16 and 24 bytes on i686, 24 and 32 on
// x86_64, where a 32-bit client cannot read the stream.
#include "data_stream.h"
#include "stream_image.h"

#include <gtest/gtest.h>

#include <cstddef>

using namespace iotest;

namespace {

BSTR Text(const wchar_t *text)
{
    return text != nullptr ? SysAllocString(text) : nullptr;
}

SAFEARRAY *TextArray(const std::vector<const wchar_t *> &texts)
{
    SAFEARRAY *array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
        BSTR text = Text(texts[i]);
        SafeArrayPutElement(array, &i, text);
        SysFreeString(text);
    }
    return array;
}

SAFEARRAY *ByteArray(const std::vector<BYTE> &bytes)
{
    SAFEARRAY *array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    void *data = nullptr;
    SafeArrayAccessData(array, &data);
    memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array);
    return array;
}

// Items with every value kind, their expected images alongside.
struct Sample {
    ItemValues values;
    ExpectedStream plain{false};
    ExpectedStream timed{true};

    Sample()
    {
        const int n = 9;
        values.Allocate(n);
        std::vector<ValueImage> images;
        VARIANT *v = values.values;
        for (int i = 0; i < n; ++i)
            VariantInit(&v[i]);
        V_VT(&v[0]) = VT_I4;
        V_I4(&v[0]) = -7;
        images.push_back(ValueImage::Integer(-7));
        V_VT(&v[1]) = VT_R8;
        V_R8(&v[1]) = 0.125;
        images.push_back(ValueImage::Double(0.125));
        V_VT(&v[2]) = VT_BSTR;
        V_BSTR(&v[2]) = Text(L"ab");
        images.push_back(ValueImage::Text(L"ab"));
        V_VT(&v[3]) = VT_BSTR;
        V_BSTR(&v[3]) = nullptr;
        images.push_back(ValueImage::Text(nullptr));
        V_VT(&v[4]) = VT_ARRAY | VT_UI1;
        V_ARRAY(&v[4]) = ByteArray({9, 8, 7});
        images.push_back(ValueImage::Bytes({9, 8, 7}));
        V_VT(&v[5]) = VT_ARRAY | VT_BSTR;
        V_ARRAY(&v[5]) = TextArray({L"x", nullptr, L"yz"});
        images.push_back(ValueImage::Texts({L"x", nullptr, L"yz"}));
        V_VT(&v[6]) = VT_ARRAY | VT_UI1;
        V_ARRAY(&v[6]) = nullptr;
        images.push_back(ValueImage::NullArray(VT_UI1));
        V_VT(&v[7]) = VT_BOOL;
        V_BOOL(&v[7]) = VARIANT_FALSE;
        images.push_back(ValueImage::Boolean(false));
        images.push_back(ValueImage::Empty()); // v[8]: a never-set tag
        for (int i = 0; i < n; ++i) {
            values.clientHandles[i] = 100 + i;
            values.qualities[i] = static_cast<WORD>(i == 8 ? 0 : 192 + i % 3);
            values.timestamps[i].dwLowDateTime = 0x10000000u + i;
            values.timestamps[i].dwHighDateTime = 0x01D00000u;
            values.errors[i] = S_OK;
            plain.AddItem(values.clientHandles[i], values.qualities[i], values.timestamps[i], images[i]);
            timed.AddItem(values.clientHandles[i], values.qualities[i], values.timestamps[i], images[i]);
        }
    }
};

std::vector<BYTE> BlockBytes(HGLOBAL block)
{
    std::vector<BYTE> bytes;
    const BYTE *data = static_cast<const BYTE *>(GlobalLock(block));
    if (data != nullptr) {
        bytes.assign(data, data + GlobalSize(block));
        GlobalUnlock(block);
    }
    return bytes;
}

void ExpectBlock(HGLOBAL block, const ExpectedStream &expected, OPCHANDLE group, DWORD transaction)
{
    ASSERT_NE(nullptr, block);
    std::vector<BYTE> bytes = BlockBytes(block);
    std::vector<BYTE> image;
    std::vector<bool> checked;
    expected.Build(group, transaction, &image, &checked);
    ASSERT_GE(bytes.size(), image.size());
    bytes.resize(image.size());
    EXPECT_EQ("", CompareStream(bytes, image, checked));
    GlobalFree(block);
}

} // namespace

TEST(DataStreamLayout, RawImagesAreTheNativeVariantAndArrayDescriptor)
{
#if defined(__i386__)
    EXPECT_EQ(16u, sizeof(VARIANT));
    EXPECT_EQ(24u, offsetof(SAFEARRAY, rgsabound) + sizeof(SAFEARRAYBOUND));
#else
    EXPECT_EQ(24u, sizeof(VARIANT));
    EXPECT_EQ(32u, offsetof(SAFEARRAY, rgsabound) + sizeof(SAFEARRAYBOUND));
#endif
    EXPECT_EQ(sizeof(VARIANT), kVariantImageSize);
    EXPECT_EQ(offsetof(SAFEARRAY, rgsabound) + sizeof(SAFEARRAYBOUND), kDescriptorImageSize);
}

TEST(DataStreamLayout, ValueImageSizes)
{
    Sample sample;
    const VARIANT *v = sample.values.values;
    const size_t V = kVariantImageSize, D = kDescriptorImageSize;
    EXPECT_EQ(V, ValueImageSize(v[0]));
    EXPECT_EQ(V, ValueImageSize(v[1]));
    EXPECT_EQ(V + 4 + 4 + 2, ValueImageSize(v[2]));     // two characters
    EXPECT_EQ(V + 4 + 2, ValueImageSize(v[3]));         // null text
    EXPECT_EQ(V + D + 3, ValueImageSize(v[4]));         // three bytes
    EXPECT_EQ(V + D + (4 + 2 + 2) + (4 + 2) + (4 + 4 + 2), ValueImageSize(v[5]));
    EXPECT_EQ(V + D, ValueImageSize(v[6]));             // no array
    EXPECT_EQ(V, ValueImageSize(v[7]));
    EXPECT_EQ(V, ValueImageSize(v[8]));
#if defined(__i386__)
    EXPECT_EQ(26u, ValueImageSize(v[2]));
    EXPECT_EQ(22u, ValueImageSize(v[3]));
    EXPECT_EQ(43u, ValueImageSize(v[4]));
#endif
}

TEST(DataStreamLayout, StreamWithTimeHasTwentyByteItemHeaders)
{
    Sample sample;
    ExpectBlock(BuildDataStream(sample.values, 0xABCD, 3, true), sample.timed, 0xABCD, 3);
}

TEST(DataStreamLayout, StreamWithoutTimeHasTwelveByteItemHeaders)
{
    Sample sample;
    ExpectBlock(BuildDataStream(sample.values, 0xABCD, 4, false), sample.plain, 0xABCD, 4);
}

TEST(DataStreamLayout, StreamOfNoItemsIsTheGroupHeaderAlone)
{
    ItemValues none;
    ASSERT_TRUE(none.Allocate(0));
    HGLOBAL block = BuildDataStream(none, 5, 6, true);
    ASSERT_NE(nullptr, block);
    std::vector<BYTE> bytes = BlockBytes(block);
    GlobalFree(block);
    ASSERT_GE(bytes.size(), kGroupHeaderSize);
    EXPECT_EQ(kGroupHeaderSize, StreamDword(bytes, 0));
    EXPECT_EQ(0u, StreamDword(bytes, 4));
    EXPECT_EQ(5u, StreamDword(bytes, 8));
    EXPECT_EQ(6u, StreamDword(bytes, 12));
    EXPECT_EQ(static_cast<DWORD>(S_OK), StreamDword(bytes, 16));
}

// The array descriptor image records the lock count the array had before
// the stream was built, and the array is left unlocked.
TEST(DataStreamLayout, ArraysAreLeftAsTheyWere)
{
    Sample sample;
    HGLOBAL block = BuildDataStream(sample.values, 1, 1, true);
    ASSERT_NE(nullptr, block);
    GlobalFree(block);
    EXPECT_EQ(0u, V_ARRAY(&sample.values.values[4])->cLocks);
    EXPECT_EQ(0u, V_ARRAY(&sample.values.values[5])->cLocks);
}
