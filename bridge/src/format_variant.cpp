// format_variant.cpp - written values as frame text.
#include "format_variant.h"

#include <cstdio>

std::string FormatVariant(const VARIANT &value)
{
    char text[128];
    int written = -1;
    switch (V_VT(&value)) {
    case VT_I1: written = std::snprintf(text, sizeof(text), "%d", V_I1(&value)); break;
    case VT_I2: written = std::snprintf(text, sizeof(text), "%d", V_I2(&value)); break;
    case VT_I4: written = std::snprintf(text, sizeof(text), "%ld", static_cast<long>(V_I4(&value))); break;
    case VT_I8: written = std::snprintf(text, sizeof(text), "%lld", static_cast<long long>(V_I8(&value))); break;
    case VT_UI1: written = std::snprintf(text, sizeof(text), "%u", V_UI1(&value)); break;
    case VT_UI2: written = std::snprintf(text, sizeof(text), "%u", V_UI2(&value)); break;
    case VT_UI4: written = std::snprintf(text, sizeof(text), "%lu", static_cast<unsigned long>(V_UI4(&value))); break;
    case VT_UI8: written = std::snprintf(text, sizeof(text), "%llu", static_cast<unsigned long long>(V_UI8(&value))); break;
    case VT_R4: written = std::snprintf(text, sizeof(text), "%10.6f", static_cast<double>(V_R4(&value))); break;
    case VT_R8: written = std::snprintf(text, sizeof(text), "%10.6f", V_R8(&value)); break;
    case VT_BOOL: return V_BOOL(&value) != 0 ? "1" : "0";
    default: return "unknow value";
    }
    // A float too large for the 127 characters of a frame's value text
    // (beyond about 1e120) is not a usable process value either.
    if (written < 0 || written >= static_cast<int>(sizeof(text)))
        return "unknow value";
    return text;
}
