// Written values as the value text of a write request frame: exact and
// round-tripping, or refused.
#include "format_variant.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

namespace {

template <typename Set>
ValueTextResult Format(VARTYPE type, Set set, std::string *text)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    set(v);
    const ValueTextResult result = FormatVariant(v, *text);
    VariantClear(&v);
    return result;
}

template <typename Set>
std::string Text(VARTYPE type, Set set)
{
    std::string text;
    return Format(type, set, &text) == ValueTextResult::kOk ? text : "<refused>";
}

std::string Bstr(const wchar_t *text, UINT length)
{
    std::string out;
    return Format(VT_BSTR, [&](VARIANT &v) { V_BSTR(&v) = SysAllocStringLen(text, length); }, &out) ==
                   ValueTextResult::kOk
               ? out
               : "<refused>";
}

} // namespace

TEST(FormatVariant, Integers)
{
    EXPECT_EQ("1234", Text(VT_I2, [](VARIANT &v) { V_I2(&v) = 1234; }));
    EXPECT_EQ("-5", Text(VT_I1, [](VARIANT &v) { V_I1(&v) = -5; }));
    EXPECT_EQ("-2147483648", Text(VT_I4, [](VARIANT &v) { V_I4(&v) = -2147483647 - 1; }));
    EXPECT_EQ("-9223372036854775808",
              Text(VT_I8, [](VARIANT &v) { V_I8(&v) = std::numeric_limits<LONGLONG>::min(); }));
    EXPECT_EQ("255", Text(VT_UI1, [](VARIANT &v) { V_UI1(&v) = 255; }));
    EXPECT_EQ("65535", Text(VT_UI2, [](VARIANT &v) { V_UI2(&v) = 65535; }));
    EXPECT_EQ("4294967295", Text(VT_UI4, [](VARIANT &v) { V_UI4(&v) = 4294967295u; }));
    EXPECT_EQ("18446744073709551615", Text(VT_UI8, [](VARIANT &v) { V_UI8(&v) = ~0ULL; }));
}

// The shortest text that reads back as the same number, no padding, no
// exponent; what has no such text within a frame is refused.
TEST(FormatVariant, FloatsRoundTripExactly)
{
    const double doubles[] = {2.5, 1.25e-7, 123456789.125, -12345.6789, 0.1, 1e200, 1e-200,
                              std::numeric_limits<double>::max() / 1e150};
    for (double value : doubles) {
        const std::string text = Text(VT_R8, [&](VARIANT &v) { V_R8(&v) = value; });
        ASSERT_NE("<refused>", text) << value;
        EXPECT_EQ(value, std::strtod(text.c_str(), nullptr)) << text;
        EXPECT_EQ(std::string::npos, text.find_first_of("eE ")) << text;
    }
    EXPECT_EQ("0.000000125", Text(VT_R8, [](VARIANT &v) { V_R8(&v) = 1.25e-7; }));
    EXPECT_EQ("123456789.125", Text(VT_R8, [](VARIANT &v) { V_R8(&v) = 123456789.125; }));
    EXPECT_EQ("-0", Text(VT_R8, [](VARIANT &v) { V_R8(&v) = -0.0; }));
    EXPECT_EQ("0.1", Text(VT_R4, [](VARIANT &v) { V_R4(&v) = 0.1f; }));
    const std::string largest = Text(VT_R4, [](VARIANT &v) { V_R4(&v) = std::numeric_limits<float>::max(); });
    EXPECT_EQ(std::numeric_limits<float>::max(), std::strtof(largest.c_str(), nullptr)) << largest;
    EXPECT_EQ(39u, largest.size()) << largest;

    std::string text;
    EXPECT_EQ(ValueTextResult::kTooLong, Format(VT_R8, [](VARIANT &v) { V_R8(&v) = 1e300; }, &text));
    EXPECT_EQ(ValueTextResult::kTooLong, Format(VT_R8, [](VARIANT &v) { V_R8(&v) = 5e-324; }, &text));
    EXPECT_EQ(ValueTextResult::kNotRepresentable,
              Format(VT_R8, [](VARIANT &v) { V_R8(&v) = std::numeric_limits<double>::quiet_NaN(); }, &text));
    EXPECT_EQ(ValueTextResult::kNotRepresentable,
              Format(VT_R4, [](VARIANT &v) { V_R4(&v) = std::numeric_limits<float>::infinity(); }, &text));
}

TEST(FormatVariant, TextsInTheCodePageOrRefused)
{
    EXPECT_EQ("\xD4\xCB\xD0\xD0\xD6\xD0", Bstr(L"\u8FD0\u884C\u4E2D", 3)); // 运行中 in GBK
    EXPECT_EQ("", Bstr(L"", 0));
    EXPECT_EQ(std::string(255, 'x'), Bstr(std::wstring(255, L'x').c_str(), 255));
    std::string text;
    EXPECT_EQ(ValueTextResult::kTooLong,
              Format(VT_BSTR, [](VARIANT &v) { V_BSTR(&v) = SysAllocString(std::wstring(256, L'x').c_str()); }, &text));
    EXPECT_EQ("<refused>", Bstr(L"alarm \xD83D\xDD14", 8)); // a bell: not in the code page
    EXPECT_EQ("<refused>", Bstr(L"a\0b", 3));
}

TEST(FormatVariant, BooleansAndTypesWithoutText)
{
    EXPECT_EQ("1", Text(VT_BOOL, [](VARIANT &v) { V_BOOL(&v) = VARIANT_TRUE; }));
    EXPECT_EQ("1", Text(VT_BOOL, [](VARIANT &v) { V_BOOL(&v) = 1; }));
    EXPECT_EQ("0", Text(VT_BOOL, [](VARIANT &v) { V_BOOL(&v) = VARIANT_FALSE; }));
    EXPECT_EQ("<refused>", Text(VT_EMPTY, [](VARIANT &) {}));
    EXPECT_EQ("<refused>", Text(VT_DATE, [](VARIANT &v) { V_DATE(&v) = 1.0; }));
    EXPECT_EQ("<refused>", Text(VT_CY, [](VARIANT &v) { V_CY(&v).int64 = 10000; }));
    EXPECT_EQ("<refused>", Text(VT_ARRAY | VT_UI1, [](VARIANT &v) { V_ARRAY(&v) = SafeArrayCreateVector(VT_UI1, 0, 2); }));
}
