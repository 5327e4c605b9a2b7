// value_format.cpp - printing and parsing of values for opccli.
#include "value_format.h"

#include "opc_errors.h"

#include <cstdio>
#include <cstdlib>
#include <cerrno>

std::string Narrow(const wchar_t *text)
{
    if (text == nullptr)
        return std::string();
    int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return std::string();
    std::string result(static_cast<size_t>(length - 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &result[0], length, nullptr, nullptr);
    return result;
}

std::wstring Widen(const std::string &text)
{
    if (text.empty())
        return std::wstring();
    int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 1)
        return std::wstring();
    std::wstring result(static_cast<size_t>(length - 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &result[0], length);
    return result;
}

std::string FormatType(VARTYPE type)
{
    switch (type) {
    case VT_EMPTY: return "VT_EMPTY";
    case VT_I1: return "VT_I1";
    case VT_UI1: return "VT_UI1";
    case VT_I2: return "VT_I2";
    case VT_UI2: return "VT_UI2";
    case VT_I4: return "VT_I4";
    case VT_UI4: return "VT_UI4";
    case VT_I8: return "VT_I8";
    case VT_UI8: return "VT_UI8";
    case VT_R4: return "VT_R4";
    case VT_R8: return "VT_R8";
    case VT_BSTR: return "VT_BSTR";
    case VT_BOOL: return "VT_BOOL";
    case VT_DATE: return "VT_DATE";
    case VT_ARRAY | VT_UI1: return "VT_ARRAY|VT_UI1";
    default: {
        char text[32];
        std::snprintf(text, sizeof(text), "VT_%u", type);
        return text;
    }
    }
}

std::string FormatValue(const VARIANT &value)
{
    char text[64];
    switch (V_VT(&value)) {
    case VT_EMPTY: return "(empty)";
    case VT_I1: std::snprintf(text, sizeof(text), "%d", V_I1(&value)); return text;
    case VT_UI1: std::snprintf(text, sizeof(text), "%u", V_UI1(&value)); return text;
    case VT_I2: std::snprintf(text, sizeof(text), "%d", V_I2(&value)); return text;
    case VT_UI2: std::snprintf(text, sizeof(text), "%u", V_UI2(&value)); return text;
    case VT_I4: std::snprintf(text, sizeof(text), "%ld", static_cast<long>(V_I4(&value))); return text;
    case VT_UI4: std::snprintf(text, sizeof(text), "%lu", static_cast<unsigned long>(V_UI4(&value))); return text;
    case VT_I8: std::snprintf(text, sizeof(text), "%lld", static_cast<long long>(V_I8(&value))); return text;
    case VT_UI8: std::snprintf(text, sizeof(text), "%llu", static_cast<unsigned long long>(V_UI8(&value))); return text;
    case VT_R4: std::snprintf(text, sizeof(text), "%.7g", V_R4(&value)); return text;
    case VT_R8: std::snprintf(text, sizeof(text), "%.15g", V_R8(&value)); return text;
    case VT_BOOL: return V_BOOL(&value) ? "true" : "false";
    case VT_BSTR: return "\"" + Narrow(V_BSTR(&value)) + "\"";
    case VT_ARRAY | VT_UI1: {
        SAFEARRAY *array = V_ARRAY(&value);
        void *data = nullptr;
        if (array == nullptr || FAILED(SafeArrayAccessData(array, &data)))
            return "(bytes ?)";
        std::string hex = "bytes:";
        const BYTE *bytes = static_cast<const BYTE *>(data);
        for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
            std::snprintf(text, sizeof(text), "%02x", bytes[i]);
            hex += text;
        }
        SafeArrayUnaccessData(array);
        return hex;
    }
    default: {
        VARIANT copy;
        VariantInit(&copy);
        if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT *>(&value), 0, VT_BSTR))) {
            std::string result = Narrow(V_BSTR(&copy));
            VariantClear(&copy);
            return result;
        }
        return "(" + FormatType(V_VT(&value)) + ")";
    }
    }
}

std::string FormatQuality(WORD quality)
{
    const char *name = (quality & 0xC0) == 0xC0 ? "good" : (quality & 0xC0) == 0x40 ? "uncertain" : "bad";
    char text[32];
    std::snprintf(text, sizeof(text), "%u(%s)", quality, name);
    return text;
}

std::string FormatTime(const FILETIME &time)
{
    if (time.dwHighDateTime == 0 && time.dwLowDateTime == 0)
        return "-";
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&time, &st))
        return "?";
    char text[40];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", st.wYear, st.wMonth,
                  st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return text;
}

std::string FormatResult(HRESULT hr)
{
    const char *name = nullptr;
    switch (hr) {
    case S_OK: name = "S_OK"; break;
    case S_FALSE: name = "S_FALSE"; break;
    case E_FAIL: name = "E_FAIL"; break;
    case E_INVALIDARG: name = "E_INVALIDARG"; break;
    case E_NOTIMPL: name = "E_NOTIMPL"; break;
    case E_OUTOFMEMORY: name = "E_OUTOFMEMORY"; break;
    case E_NOINTERFACE: name = "E_NOINTERFACE"; break;
    case E_ACCESSDENIED: name = "E_ACCESSDENIED"; break;
    case REGDB_E_CLASSNOTREG: name = "REGDB_E_CLASSNOTREG"; break;
    case OPC_E_INVALIDHANDLE: name = "OPC_E_INVALIDHANDLE"; break;
    case OPC_E_BADRIGHTS: name = "OPC_E_BADRIGHTS"; break;
    case OPC_E_UNKNOWNITEMID: name = "OPC_E_UNKNOWNITEMID"; break;
    case OPC_E_INVALIDITEMID: name = "OPC_E_INVALIDITEMID"; break;
    case OPC_E_BADTYPE: name = "OPC_E_BADTYPE"; break;
    case OPC_E_RANGE: name = "OPC_E_RANGE"; break;
    case OPC_E_INVALID_PID: name = "OPC_E_INVALID_PID"; break;
    case OPC_E_DUPLICATENAME: name = "OPC_E_DUPLICATENAME"; break;
    case OPC_E_INVALIDCONTINUATIONPOINT: name = "OPC_E_INVALIDCONTINUATIONPOINT"; break;
    case OPC_S_UNSUPPORTEDRATE: name = "OPC_S_UNSUPPORTEDRATE"; break;
    case OPC_S_INUSE: name = "OPC_S_INUSE"; break;
    default: break;
    }
    char text[48];
    if (name != nullptr)
        std::snprintf(text, sizeof(text), "%s", name);
    else
        std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

namespace {

bool ParseSigned(const std::string &text, long long low, long long high, long long *out)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    *out = v;
    return true;
}

bool ParseUnsigned(const std::string &text, unsigned long long high, unsigned long long *out)
{
    if (text.empty() || text[0] == '-')
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > high)
        return false;
    *out = v;
    return true;
}

} // namespace

bool ParseValue(const std::string &type, const std::string &text, VARIANT *value,
                std::string *error)
{
    VariantInit(value);
    long long s = 0;
    unsigned long long u = 0;
    bool ok = true;
    if (type == "i1" && (ok = ParseSigned(text, -128, 127, &s))) {
        V_VT(value) = VT_I1; V_I1(value) = static_cast<CHAR>(s);
    } else if (type == "ui1" && (ok = ParseUnsigned(text, 255, &u))) {
        V_VT(value) = VT_UI1; V_UI1(value) = static_cast<BYTE>(u);
    } else if (type == "i2" && (ok = ParseSigned(text, -32768, 32767, &s))) {
        V_VT(value) = VT_I2; V_I2(value) = static_cast<SHORT>(s);
    } else if (type == "ui2" && (ok = ParseUnsigned(text, 65535, &u))) {
        V_VT(value) = VT_UI2; V_UI2(value) = static_cast<USHORT>(u);
    } else if (type == "i4" && (ok = ParseSigned(text, -2147483648LL, 2147483647LL, &s))) {
        V_VT(value) = VT_I4; V_I4(value) = static_cast<LONG>(s);
    } else if (type == "ui4" && (ok = ParseUnsigned(text, 4294967295ULL, &u))) {
        V_VT(value) = VT_UI4; V_UI4(value) = static_cast<ULONG>(u);
    } else if (type == "i8" && (ok = ParseSigned(text, INT64_MIN, INT64_MAX, &s))) {
        V_VT(value) = VT_I8; V_I8(value) = s;
    } else if (type == "ui8" && (ok = ParseUnsigned(text, UINT64_MAX, &u))) {
        V_VT(value) = VT_UI8; V_UI8(value) = u;
    } else if (type == "r4" || type == "r8") {
        char *end = nullptr;
        double d = std::strtod(text.c_str(), &end);
        ok = !text.empty() && *end == '\0';
        if (ok && type == "r4") { V_VT(value) = VT_R4; V_R4(value) = static_cast<float>(d); }
        if (ok && type == "r8") { V_VT(value) = VT_R8; V_R8(value) = d; }
    } else if (type == "bool") {
        ok = text == "true" || text == "false" || text == "1" || text == "0";
        if (ok) { V_VT(value) = VT_BOOL; V_BOOL(value) = (text == "true" || text == "1") ? VARIANT_TRUE : VARIANT_FALSE; }
    } else if (type == "str") {
        V_VT(value) = VT_BSTR;
        V_BSTR(value) = SysAllocString(Widen(text).c_str());
    } else if (type == "blob") {
        ok = text.size() % 2 == 0;
        SAFEARRAY *array = ok ? SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(text.size() / 2)) : nullptr;
        if (array != nullptr) {
            BYTE *bytes = static_cast<BYTE *>(array->pvData);
            for (size_t i = 0; ok && i < text.size() / 2; ++i) {
                char pair[3] = {text[2 * i], text[2 * i + 1], 0};
                char *end = nullptr;
                bytes[i] = static_cast<BYTE>(std::strtoul(pair, &end, 16));
                ok = *end == '\0';
            }
            V_VT(value) = VT_ARRAY | VT_UI1;
            V_ARRAY(value) = array;
        }
    } else if (ok) {
        *error = "unknown value type '" + type + "' (i1 ui1 i2 ui2 i4 ui4 i8 ui8 r4 r8 bool str blob)";
        return false;
    }
    if (!ok) {
        VariantClear(value);
        *error = "'" + text + "' is not a valid " + type + " value";
        return false;
    }
    return true;
}
