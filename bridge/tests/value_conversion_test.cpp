// Value texts of published variables to the VARIANTs of their OPC items.
#include "value_conversion.h"

#include <gtest/gtest.h>

namespace {

VARIANT Convert(int code, const char *text)
{
    return ConvertValue(code, text);
}

} // namespace

TEST(ValueConversion, DecimalReading)
{
    EXPECT_EQ(42, ReadDecimal("42"));
    EXPECT_EQ(42, ReadDecimal("   42"));
    EXPECT_EQ(-7, ReadDecimal("-7"));
    EXPECT_EQ(7, ReadDecimal("+7"));
    EXPECT_EQ(12, ReadDecimal("12abc"));
    EXPECT_EQ(3, ReadDecimal("3.9"));
    EXPECT_EQ(0, ReadDecimal(""));
    EXPECT_EQ(0, ReadDecimal("abc"));
    EXPECT_EQ(0, ReadDecimal("-"));
    EXPECT_EQ(-5000000000LL, ReadDecimal("-5000000000"));
    EXPECT_EQ(9223372036854775807LL, ReadDecimal("9223372036854775807"));
}

TEST(ValueConversion, FloatReading)
{
    EXPECT_DOUBLE_EQ(1.5, ReadFloat("1.5"));
    EXPECT_DOUBLE_EQ(1000.0, ReadFloat(" 1e3"));
    EXPECT_DOUBLE_EQ(-0.25, ReadFloat("-.25x"));
    EXPECT_DOUBLE_EQ(0.0, ReadFloat("no number"));
    EXPECT_DOUBLE_EQ(0.0, ReadFloat(""));
}

TEST(ValueConversion, IntegersKeepTheirLowBits)
{
    VARIANT v = Convert(1, "-129");
    EXPECT_EQ(VT_I1, V_VT(&v));
    EXPECT_EQ(127, V_I1(&v));
    v = Convert(2, "300");
    EXPECT_EQ(VT_UI1, V_VT(&v));
    EXPECT_EQ(44, V_UI1(&v));
    v = Convert(3, "40000");
    EXPECT_EQ(VT_I2, V_VT(&v));
    EXPECT_EQ(-25536, V_I2(&v));
    v = Convert(4, "65537");
    EXPECT_EQ(VT_UI2, V_VT(&v));
    EXPECT_EQ(1, V_UI2(&v));
    v = Convert(5, "4294967295");
    EXPECT_EQ(VT_I4, V_VT(&v));
    EXPECT_EQ(-1, V_I4(&v));
    v = Convert(5, "-2147483648");
    EXPECT_EQ(-2147483647 - 1, V_I4(&v));
    v = Convert(6, "4294967295");
    EXPECT_EQ(VT_UI4, V_VT(&v));
    EXPECT_EQ(4294967295u, V_UI4(&v));
    v = Convert(6, "0");
    EXPECT_EQ(0u, V_UI4(&v));
    v = Convert(7, "-5000000000");
    EXPECT_EQ(VT_I8, V_VT(&v));
    EXPECT_EQ(-5000000000LL, V_I8(&v));
}

TEST(ValueConversion, FloatsAndBooleans)
{
    VARIANT v = Convert(9, "abc");
    EXPECT_EQ(VT_R4, V_VT(&v));
    EXPECT_FLOAT_EQ(0.0f, V_R4(&v));
    v = Convert(9, "3.25");
    EXPECT_FLOAT_EQ(3.25f, V_R4(&v));
    v = Convert(10, "-1.125e2");
    EXPECT_EQ(VT_R8, V_VT(&v));
    EXPECT_DOUBLE_EQ(-112.5, V_R8(&v));

    for (const char *text : {"1", "true", "TRUE", "True", "tRuE"}) {
        v = Convert(13, text);
        EXPECT_EQ(VT_BOOL, V_VT(&v)) << text;
        EXPECT_EQ(VARIANT_TRUE, V_BOOL(&v)) << text;
    }
    for (const char *text : {"2", "0", "", "false", "true ", " 1", "yes", "truex"}) {
        v = Convert(13, text);
        EXPECT_EQ(VT_BOOL, V_VT(&v)) << text;
        EXPECT_EQ(VARIANT_FALSE, V_BOOL(&v)) << text;
    }
}

TEST(ValueConversion, TextsComeFromTheCodePage)
{
    VARIANT v = Convert(11, "\xD4\xCB\xD0\xD0\xD6\xD0"); // 运行中 in GBK
    ASSERT_EQ(VT_BSTR, V_VT(&v));
    EXPECT_EQ(std::wstring(L"\u8FD0\u884C\u4E2D"), std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))));
    VariantClear(&v);
    v = Convert(11, "");
    ASSERT_EQ(VT_BSTR, V_VT(&v));
    EXPECT_EQ(0u, SysStringLen(V_BSTR(&v)));
    VariantClear(&v);
}

TEST(ValueConversion, CodesWithoutAConversionGiveEmpty)
{
    for (int code : {0, 8, 12, 14, -1}) {
        VARIANT v = Convert(code, "5");
        EXPECT_EQ(VT_EMPTY, V_VT(&v)) << code;
    }
}
