// format_variant.h - the value text of a write request frame for a value an
// OPC client wrote, exact so that the platform stores what the client meant.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <string>

// Longest value text a frame carries (its length is one byte).
const std::size_t kMaxValueText = 255;

// Why a value has no frame text.
enum class ValueTextResult {
    kOk,
    kNotRepresentable, // a type without a text form, a text the code page cannot hold, NaN or infinity
    kTooLong           // more than kMaxValueText bytes
};

// Integers in decimal; floats as the shortest decimal text that reads back
// as the same float or double, without padding and without an exponent;
// booleans "1"/"0"; texts in the program's code page. Anything else has no
// frame text.
ValueTextResult FormatVariant(const VARIANT &value, std::string &text);
