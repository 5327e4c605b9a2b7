// format_variant.h - the value text of a write request frame for a value an
// OPC client wrote.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

// Integers in decimal, floats as "%10.6f", booleans "1"/"0", every other type
// "unknow value". Never longer than 127 characters.
std::string FormatVariant(const VARIANT &value);
