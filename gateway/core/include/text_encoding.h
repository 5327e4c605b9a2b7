// text_encoding.h - the text conversions of the platform requests: ANSI to
// UTF-8 for what goes out, UTF-8 to GBK (code page 936) for what comes back,
// and the form encoding of field values.
#pragma once

#include <string>

// ANSI code page -> UTF-8.
std::string AnsiToUtf8(const std::string &ansi);
// UTF-8 -> GBK; characters GBK cannot hold and invalid bytes are dropped.
std::string Utf8ToGbk(const std::string &utf8);
// Letters, digits, "-", "_", ".", "~" as they are; blank -> "+"; every other
// byte "%XX" with upper-case hex digits.
std::string PercentEncode(const std::string &bytes);
