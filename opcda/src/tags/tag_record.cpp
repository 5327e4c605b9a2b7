// tag_record.cpp - tag type code to canonical VARTYPE.
#include "tag_record.h"

VARTYPE CanonicalVarType(int tagType)
{
    static const VARTYPE kTypes[14] = {
        VT_EMPTY,
        VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8, VT_UI8,
        VT_R4, VT_R8, VT_BSTR, VT_ARRAY | VT_UI1, VT_BOOL,
    };
    if (tagType < 1 || tagType > 13)
        return VT_EMPTY;
    return kTypes[tagType];
}
