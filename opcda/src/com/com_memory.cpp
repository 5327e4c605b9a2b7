// com_memory.cpp - task memory strings and code page conversions.
#include "com_memory.h"

#include <cstring>
#include <cwchar>

LPWSTR TaskStringFromAnsi(const char *text)
{
    if (text == nullptr)
        text = "";
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0)
        length = 1;
    LPWSTR result = static_cast<LPWSTR>(CoTaskMemAlloc(length * sizeof(WCHAR)));
    if (result == nullptr)
        return nullptr;
    result[0] = L'\0';
    MultiByteToWideChar(CP_ACP, 0, text, -1, result, length);
    return result;
}

LPWSTR TaskStringCopy(LPCWSTR text)
{
    if (text == nullptr)
        text = L"";
    const size_t bytes = (std::wcslen(text) + 1) * sizeof(WCHAR);
    LPWSTR result = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (result != nullptr)
        std::memcpy(result, text, bytes);
    return result;
}

bool WideToAnsi(LPCWSTR text, char *buffer, size_t size)
{
    if (size == 0)
        return false;
    buffer[0] = '\0';
    if (text == nullptr)
        return false;
    if (*text == L'\0')
        return true;
    int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0 || static_cast<size_t>(needed) > size)
        return false;
    return WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, static_cast<int>(size), nullptr,
                               nullptr) > 0;
}

std::wstring AnsiToWide(const char *text)
{
    if (text == nullptr || *text == '\0')
        return std::wstring();
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1)
        return std::wstring();
    std::wstring result(static_cast<size_t>(length - 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &result[0], length);
    return result;
}
