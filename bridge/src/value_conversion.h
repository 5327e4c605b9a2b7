// value_conversion.h - how a published variable's value text becomes the
// VARIANT of its OPC item, by the variable's type code.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>

// Leading blanks, one sign, then digits up to the first other character, into
// a 64-bit signed integer; 0 when the text has no digits.
std::int64_t ReadDecimal(const std::string &text);
// The usual decimal and exponent forms, the same way; 0 without a number.
double ReadFloat(const std::string &text);

// The VARIANT for a type code: integers keep the low bits of the decimal
// reading, floats narrow to 32 bits, texts (11) become a BSTR from the ANSI
// code page, booleans are true for "1" and "true" in any case. Other type
// codes give VT_EMPTY.
VARIANT ConvertValue(int typeCode, const std::string &text);
