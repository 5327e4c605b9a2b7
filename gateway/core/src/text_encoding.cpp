// text_encoding.cpp - ANSI/UTF-8/GBK conversions through UTF-16 and the
// percent-encoding of form values.
#include "text_encoding.h"

#include <algorithm>
#include <windows.h>

namespace {

const UINT kGbkCodePage = 936;

std::wstring ToWide(UINT codePage, const std::string &text)
{
    if (text.empty())
        return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], length);
    return wide;
}

// Converts wide to the code page. usedDefault (null for UTF-8, which takes
// every character) reports whether a character had to be replaced.
std::string FromWide(UINT codePage, const wchar_t *wide, int length, bool *usedDefault)
{
    if (length <= 0)
        return std::string();
    BOOL defaultUsed = FALSE;
    BOOL *defaultFlag = usedDefault != nullptr ? &defaultUsed : nullptr;
    const int size = WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, defaultFlag);
    if (size <= 0)
        return std::string();
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, wide, length, &text[0], size, nullptr, defaultFlag);
    if (usedDefault != nullptr)
        *usedDefault = defaultUsed != FALSE;
    return text;
}

} // namespace

std::string AnsiToUtf8(const std::string &ansi)
{
    const std::wstring wide = ToWide(CP_ACP, ansi);
    return FromWide(CP_UTF8, wide.data(), static_cast<int>(wide.size()), nullptr);
}

std::string Utf8ToGbk(const std::string &utf8)
{
    // Plain ASCII (most values) is the same text in both.
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return utf8;
    // Invalid UTF-8 becomes U+FFFD, which GBK cannot hold either.
    const std::wstring wide = ToWide(CP_UTF8, utf8);
    bool usedDefault = false;
    std::string whole = FromWide(kGbkCodePage, wide.data(), static_cast<int>(wide.size()), &usedDefault);
    if (!usedDefault)
        return whole;

    // Some character has no GBK form: convert one character (one UTF-16
    // unit, or a surrogate pair) at a time and leave those out.
    std::string gbk;
    for (std::size_t at = 0; at < wide.size();) {
        int units = 1;
        if (wide[at] >= 0xD800 && wide[at] <= 0xDBFF && at + 1 < wide.size() && wide[at + 1] >= 0xDC00 &&
            wide[at + 1] <= 0xDFFF)
            units = 2;
        bool dropped = false;
        const std::string piece = FromWide(kGbkCodePage, wide.data() + at, units, &dropped);
        if (!dropped)
            gbk += piece;
        at += static_cast<std::size_t>(units);
    }
    return gbk;
}

std::string PercentEncode(const std::string &bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
            byte == '-' || byte == '_' || byte == '.' || byte == '~') {
            encoded += c;
        } else if (byte == ' ') {
            encoded += '+';
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}
