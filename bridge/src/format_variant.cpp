// format_variant.cpp - written values as frame text.
#include "format_variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace {

template <typename Number>
ValueTextResult Decimal(Number number, std::string &text)
{
    char buffer[32];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), number);
    text.assign(buffer, result.ptr);
    return ValueTextResult::kOk;
}

// The shortest fixed-point text that reads back as the same number.
template <typename Float>
ValueTextResult Shortest(Float number, std::string &text)
{
    if (!std::isfinite(number))
        return ValueTextResult::kNotRepresentable;
    char buffer[400]; // a double's longest fixed form has 309 integer digits
    const std::to_chars_result result =
        std::to_chars(buffer, buffer + sizeof(buffer), number, std::chars_format::fixed);
    if (result.ec != std::errc())
        return ValueTextResult::kTooLong;
    text.assign(buffer, result.ptr);
    return text.size() > kMaxValueText ? ValueTextResult::kTooLong : ValueTextResult::kOk;
}

// A text in the ANSI code page, exactly: a character the code page has no
// byte sequence for makes the text unrepresentable.
ValueTextResult AnsiText(BSTR value, std::string &text)
{
    const int length = static_cast<int>(SysStringLen(value));
    text.clear();
    if (length == 0)
        return ValueTextResult::kOk;
    // The gateway handles value texts as C strings.
    for (int i = 0; i < length; ++i)
        if (value[i] == L'\0')
            return ValueTextResult::kNotRepresentable;
    BOOL lossy = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, value, length, nullptr, 0, nullptr, &lossy);
    if (bytes <= 0 || lossy)
        return ValueTextResult::kNotRepresentable;
    if (static_cast<std::size_t>(bytes) > kMaxValueText)
        return ValueTextResult::kTooLong;
    text.resize(static_cast<std::size_t>(bytes));
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, value, length, &text[0], bytes, nullptr, &lossy);
    return lossy ? ValueTextResult::kNotRepresentable : ValueTextResult::kOk;
}

} // namespace

ValueTextResult FormatVariant(const VARIANT &value, std::string &text)
{
    switch (V_VT(&value)) {
    case VT_I1: return Decimal(static_cast<int>(V_I1(&value)), text);
    case VT_I2: return Decimal(static_cast<int>(V_I2(&value)), text);
    case VT_I4: return Decimal(static_cast<long>(V_I4(&value)), text);
    case VT_INT: return Decimal(static_cast<long>(V_INT(&value)), text);
    case VT_I8: return Decimal(static_cast<long long>(V_I8(&value)), text);
    case VT_UI1: return Decimal(static_cast<unsigned>(V_UI1(&value)), text);
    case VT_UI2: return Decimal(static_cast<unsigned>(V_UI2(&value)), text);
    case VT_UI4: return Decimal(static_cast<unsigned long>(V_UI4(&value)), text);
    case VT_UINT: return Decimal(static_cast<unsigned long>(V_UINT(&value)), text);
    case VT_UI8: return Decimal(static_cast<unsigned long long>(V_UI8(&value)), text);
    case VT_R4: return Shortest(V_R4(&value), text);
    case VT_R8: return Shortest(V_R8(&value), text);
    case VT_BOOL:
        text = V_BOOL(&value) != 0 ? "1" : "0";
        return ValueTextResult::kOk;
    case VT_BSTR: return AnsiText(V_BSTR(&value), text);
    default:
        text.clear();
        return ValueTextResult::kNotRepresentable;
    }
}
