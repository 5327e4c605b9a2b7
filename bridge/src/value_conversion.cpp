// value_conversion.cpp - value text to VARIANT by type code.
#include "value_conversion.h"

#include <cctype>
#include <cstdlib>

std::int64_t ReadDecimal(const std::string &text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate in unsigned arithmetic so that overlong inputs wrap instead
    // of overflowing.
    std::uint64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
    return static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);
}

double ReadFloat(const std::string &text)
{
    return std::strtod(text.c_str(), nullptr);
}

VARIANT ConvertValue(int typeCode, const std::string &text)
{
    VARIANT v;
    VariantInit(&v);
    switch (typeCode) {
    case 1:
        V_VT(&v) = VT_I1;
        V_I1(&v) = static_cast<CHAR>(ReadDecimal(text));
        break;
    case 2:
        V_VT(&v) = VT_UI1;
        V_UI1(&v) = static_cast<BYTE>(ReadDecimal(text));
        break;
    case 3:
        V_VT(&v) = VT_I2;
        V_I2(&v) = static_cast<SHORT>(ReadDecimal(text));
        break;
    case 4:
        V_VT(&v) = VT_UI2;
        V_UI2(&v) = static_cast<USHORT>(ReadDecimal(text));
        break;
    case 5:
        V_VT(&v) = VT_I4;
        V_I4(&v) = static_cast<LONG>(static_cast<std::uint32_t>(ReadDecimal(text)));
        break;
    case 6:
        V_VT(&v) = VT_UI4;
        V_UI4(&v) = static_cast<ULONG>(ReadDecimal(text));
        break;
    case 7:
        V_VT(&v) = VT_I8;
        V_I8(&v) = ReadDecimal(text);
        break;
    case 9:
        V_VT(&v) = VT_R4;
        V_R4(&v) = static_cast<float>(ReadFloat(text));
        break;
    case 10:
        V_VT(&v) = VT_R8;
        V_R8(&v) = ReadFloat(text);
        break;
    case 11: {
        // Texts are in the program's code page, like every text of the segment.
        const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        BSTR bstr = SysAllocStringLen(nullptr, static_cast<UINT>(length > 0 ? length : 0));
        if (bstr == nullptr)
            break;
        if (length > 0)
            MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bstr, length);
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = bstr;
        break;
    }
    case 13: {
        bool isTrue = text == "1";
        if (!isTrue && text.size() == 4) {
            isTrue = true;
            for (std::size_t i = 0; i < 4; ++i)
                isTrue = isTrue && std::tolower(static_cast<unsigned char>(text[i])) == "true"[i];
        }
        V_VT(&v) = VT_BOOL;
        V_BOOL(&v) = isTrue ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    }
    default:
        break;
    }
    return v;
}
