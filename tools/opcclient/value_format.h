// value_format.h - how opccli prints and parses values, qualities, times
// and result codes; texts are converted to the console's ANSI code page.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

std::string Narrow(const wchar_t *text);
std::wstring Widen(const std::string &text);
std::string FormatValue(const VARIANT &value);
std::string FormatType(VARTYPE type);
std::string FormatQuality(WORD quality);
std::string FormatTime(const FILETIME &time);
std::string FormatResult(HRESULT hr);
// Builds a VARIANT of the named type (i1, ui1, i2, ui2, i4, ui4, i8, ui8,
// r4, r8, bool, str, blob as hex) from text. False with a message when the
// text does not fit the type.
bool ParseValue(const std::string &type, const std::string &text, VARIANT *value,
                std::string *error);
