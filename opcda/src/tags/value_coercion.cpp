// value_coercion.cpp - OLE conversions of written and read values.
#include "value_coercion.h"

#include "opc_errors.h"

#include <oleauto.h>

namespace {

HRESULT ChangeTypeResult(HRESULT hr)
{
    if (SUCCEEDED(hr))
        return S_OK;
    return hr == DISP_E_OVERFLOW ? OPC_E_RANGE : OPC_E_BADTYPE;
}

// A text that the host will see in the ANSI code page: every character must
// have a form there (no best-fit substitutes) and the form must fit.
HRESULT CheckAnsiText(BSTR text, unsigned maxTextBytes)
{
    const int length = static_cast<int>(SysStringLen(text));
    if (length == 0)
        return S_OK;
    const UINT codePage = GetACP();
    BOOL usedDefault = FALSE;
    // UTF-7 and UTF-8 represent everything and refuse the used-default flag.
    const bool checkDefault = codePage != CP_UTF7 && codePage != CP_UTF8;
    const int bytes = WideCharToMultiByte(CP_ACP, checkDefault ? WC_NO_BEST_FIT_CHARS : 0, text,
                                          length, nullptr, 0, nullptr,
                                          checkDefault ? &usedDefault : nullptr);
    if (bytes <= 0 || usedDefault)
        return OPC_E_BADTYPE;
    if (maxTextBytes != 0 && static_cast<unsigned>(bytes) > maxTextBytes)
        return OPC_E_RANGE;
    return S_OK;
}

// One value of the canonical type, for probing conversions.
bool SampleValue(VARTYPE canonical, VARIANT *sample)
{
    VariantInit(sample);
    if (canonical & VT_ARRAY) {
        SAFEARRAY *array = SafeArrayCreateVector(static_cast<VARTYPE>(canonical & VT_TYPEMASK), 0, 1);
        if (array == nullptr)
            return false;
        V_VT(sample) = canonical;
        V_ARRAY(sample) = array;
        return true;
    }
    if (canonical == VT_BSTR) {
        V_VT(sample) = VT_BSTR;
        V_BSTR(sample) = SysAllocString(L"0");
        return V_BSTR(sample) != nullptr;
    }
    VARIANT zero;
    VariantInit(&zero);
    V_VT(&zero) = VT_I4;
    V_I4(&zero) = 0;
    return SUCCEEDED(VariantChangeTypeEx(sample, &zero, LOCALE_INVARIANT, 0, canonical));
}

} // namespace

HRESULT CoerceWriteValue(const VARIANT &value, VARTYPE canonical, LCID lcid, unsigned maxTextBytes,
                         VARIANT *out)
{
    VariantInit(out);
    VARIANT plain;
    VariantInit(&plain);
    // A value passed by reference is converted from what it refers to.
    if (FAILED(VariantCopyInd(&plain, const_cast<VARIANT *>(&value))))
        return OPC_E_BADTYPE;
    HRESULT result = S_OK;
    const VARTYPE given = V_VT(&plain);
    if (given == VT_EMPTY || given == VT_NULL ||
        ((given & VT_ARRAY) != 0 && (canonical & VT_ARRAY) == 0)) {
        result = OPC_E_BADTYPE;
    } else if (given == canonical) {
        result = ChangeTypeResult(VariantCopy(out, &plain));
    } else {
        result = ChangeTypeResult(VariantChangeTypeEx(out, &plain, lcid, 0, canonical));
    }
    if (result == S_OK && canonical == VT_BSTR)
        result = CheckAnsiText(V_BSTR(out), maxTextBytes);
    VariantClear(&plain);
    if (result != S_OK)
        VariantClear(out);
    return result;
}

HRESULT CoerceReadValue(VARIANT *value, VARTYPE requested, LCID lcid)
{
    if (requested == VT_EMPTY || requested == VT_VARIANT || V_VT(value) == requested)
        return S_OK;
    // A tag never set has no value to convert; its quality says why.
    if (V_VT(value) == VT_EMPTY)
        return S_OK;
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = VariantChangeTypeEx(&converted, value, lcid, 0, requested);
    VariantClear(value);
    if (FAILED(hr))
        return OPC_E_BADTYPE;
    *value = converted;
    return S_OK;
}

bool CanDeliverAs(VARTYPE canonical, VARTYPE requested)
{
    if (requested == VT_EMPTY || requested == VT_VARIANT || requested == canonical)
        return true;
    VARIANT sample;
    if (!SampleValue(canonical, &sample))
        return false;
    VARIANT converted;
    VariantInit(&converted);
    const bool ok = SUCCEEDED(VariantChangeTypeEx(&converted, &sample, LOCALE_INVARIANT, 0, requested));
    VariantClear(&converted);
    VariantClear(&sample);
    return ok;
}
