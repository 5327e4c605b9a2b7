// Written values as the value text of a write request frame.
#include "format_variant.h"

#include <gtest/gtest.h>

namespace {

template <typename Set>
std::string Format(VARTYPE type, Set set)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    set(v);
    std::string text = FormatVariant(v);
    VariantClear(&v);
    return text;
}

} // namespace

TEST(FormatVariant, Integers)
{
    EXPECT_EQ("1234", Format(VT_I2, [](VARIANT &v) { V_I2(&v) = 1234; }));
    EXPECT_EQ("-5", Format(VT_I1, [](VARIANT &v) { V_I1(&v) = -5; }));
    EXPECT_EQ("-2147483648", Format(VT_I4, [](VARIANT &v) { V_I4(&v) = -2147483647 - 1; }));
    EXPECT_EQ("5000000000", Format(VT_I8, [](VARIANT &v) { V_I8(&v) = 5000000000LL; }));
    EXPECT_EQ("255", Format(VT_UI1, [](VARIANT &v) { V_UI1(&v) = 255; }));
    EXPECT_EQ("65535", Format(VT_UI2, [](VARIANT &v) { V_UI2(&v) = 65535; }));
    EXPECT_EQ("4294967295", Format(VT_UI4, [](VARIANT &v) { V_UI4(&v) = 4294967295u; }));
    EXPECT_EQ("18446744073709551615", Format(VT_UI8, [](VARIANT &v) { V_UI8(&v) = ~0ULL; }));
}

TEST(FormatVariant, FloatsArePaddedToTenCharacters)
{
    EXPECT_EQ("  2.500000", Format(VT_R8, [](VARIANT &v) { V_R8(&v) = 2.5; }));
    EXPECT_EQ("  1.500000", Format(VT_R4, [](VARIANT &v) { V_R4(&v) = 1.5f; }));
    EXPECT_EQ("-12345.678900", Format(VT_R8, [](VARIANT &v) { V_R8(&v) = -12345.6789; }));
    // Too long for a frame: not a usable value text.
    EXPECT_EQ("unknow value", Format(VT_R8, [](VARIANT &v) { V_R8(&v) = 1e300; }));
}

TEST(FormatVariant, BooleansAndEverythingElse)
{
    EXPECT_EQ("1", Format(VT_BOOL, [](VARIANT &v) { V_BOOL(&v) = VARIANT_TRUE; }));
    EXPECT_EQ("1", Format(VT_BOOL, [](VARIANT &v) { V_BOOL(&v) = 1; }));
    EXPECT_EQ("0", Format(VT_BOOL, [](VARIANT &v) { V_BOOL(&v) = VARIANT_FALSE; }));
    EXPECT_EQ("unknow value", Format(VT_BSTR, [](VARIANT &v) { V_BSTR(&v) = SysAllocString(L"x"); }));
    EXPECT_EQ("unknow value", Format(VT_EMPTY, [](VARIANT &) {}));
    EXPECT_EQ("unknow value", Format(VT_DATE, [](VARIANT &v) { V_DATE(&v) = 1.0; }));
    EXPECT_EQ("unknow value", Format(VT_INT, [](VARIANT &v) { V_INT(&v) = 3; }));
}
