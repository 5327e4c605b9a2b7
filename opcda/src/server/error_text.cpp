// error_text.cpp - English and Chinese texts of the OPC DA result codes;
// system codes through FormatMessage.
#include "error_text.h"

#include "com_memory.h"

#include <string>

namespace {

struct OpcErrorText {
    DWORD code;
    const wchar_t *english;
    const wchar_t *chinese;
};

const OpcErrorText kOpcTexts[] = {
    {0xC0040001, L"The value of the handle is invalid.", L"句柄值无效。"},
    {0xC0040004, L"The server cannot convert the data between the requested data type and the canonical data type.",
     L"服务器无法在请求的数据类型与项的标准数据类型之间转换数据。"},
    {0xC0040005, L"The requested operation cannot be done on a public group.", L"不能对公共组执行所请求的操作。"},
    {0xC0040006, L"The item's access rights do not allow the operation.", L"项的访问权限不允许该操作。"},
    {0xC0040007, L"The item ID is not defined in the server address space or no longer exists in it.",
     L"项 ID 未在服务器地址空间中定义，或已不存在。"},
    {0xC0040008, L"The item ID does not conform to the server's syntax.", L"项 ID 不符合服务器的语法。"},
    {0xC0040009, L"The filter string is not valid.", L"过滤字符串无效。"},
    {0xC004000A, L"The item's access path is not known to the server.", L"服务器不认识该项的访问路径。"},
    {0xC004000B, L"The value is out of range.", L"值超出范围。"},
    {0xC004000C, L"Duplicate name not allowed.", L"不允许重复的名称。"},
    {0x0004000D, L"The server does not support the requested update rate but will use the closest available rate.",
     L"服务器不支持所请求的速率，将使用最接近的可用速率。"},
    {0x0004000E, L"A value passed to write was accepted but the output was clamped.", L"写入的值已被接受，但输出被限幅。"},
    {0x0004000F, L"The operation cannot be performed because the object is still referenced.",
     L"对象仍被引用，无法执行该操作。"},
    {0xC0040010, L"The server's configuration file is an invalid format.", L"服务器配置文件的格式无效。"},
    {0xC0040011, L"The requested object (for example a public group) was not found.",
     L"未找到所请求的对象（例如公共组）。"},
    {0xC0040203, L"The specified property ID is not valid for the item.", L"指定的属性 ID 对该项无效。"},
    {0xC0040400, L"The item deadband has not been set for this item.", L"该项未设置死区。"},
    {0xC0040401, L"The item does not support deadband.", L"该项不支持死区。"},
    {0xC0040402, L"The server does not support buffering of data items that are collected at a faster rate than the group update rate.",
     L"服务器不支持缓存以快于组更新速率采集的数据项。"},
    {0xC0040403, L"The continuation point is not valid.", L"延续点无效。"},
    {0x00040404, L"Not every detected change has been returned since the server's buffer reached its limit and had to purge the oldest data.",
     L"服务器缓冲区已满并清除了最旧的数据，并非所有检测到的变化都已返回。"},
    {0xC0040405, L"There is no sampling rate set for the specified item.", L"未为指定的项设置采样速率。"},
    {0xC0040406, L"The server does not support writing of quality and/or timestamp.", L"服务器不支持写入品质和/或时间戳。"},
    {0xC0040407, L"The dictionary and/or type description for the item has changed.", L"项的字典和/或类型描述已更改。"},
    {0xC0040408, L"A data filter item with the specified name already exists.", L"同名的数据过滤项已存在。"},
    {0xC0040409, L"The data filter value does not conform to the server's syntax.", L"数据过滤值不符合服务器的语法。"},
    {0xC004040A, L"An error occurred when the filter value was applied to the source data.",
     L"将过滤值应用于源数据时出错。"},
    {0x0004040B, L"The item value is empty because the data filter has excluded all fields.",
     L"数据过滤排除了所有字段，项的值为空。"},
    // S_FALSE as the OPC methods use it; the system table would call it
    // "incorrect function".
    {0x00000001, L"The operation succeeded for some items only; see the per-item results.",
     L"操作仅对部分项成功，请查看各项的结果。"},
};

LCID ResolveLocale(LCID locale)
{
    if (locale == LOCALE_USER_DEFAULT)
        return GetUserDefaultLCID();
    if (locale == LOCALE_SYSTEM_DEFAULT || locale == LOCALE_NEUTRAL)
        return GetSystemDefaultLCID();
    return locale;
}

// A system message in the language, else in any; trailing line breaks cut.
bool SystemText(HRESULT code, LANGID language, std::wstring *text)
{
    LPWSTR buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                        FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = FormatMessageW(flags, nullptr, static_cast<DWORD>(code), language,
                                  reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (length == 0)
        length = FormatMessageW(flags, nullptr, static_cast<DWORD>(code), 0,
                                reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr)
        return false;
    text->assign(buffer, length);
    LocalFree(buffer);
    while (!text->empty() && (text->back() == L'\r' || text->back() == L'\n' || text->back() == L' '))
        text->pop_back();
    return !text->empty();
}

} // namespace

bool IsSupportedLocale(LCID locale)
{
    if (locale == LOCALE_NEUTRAL || locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT)
        return true;
    const WORD language = PRIMARYLANGID(LANGIDFROMLCID(locale));
    return language == LANG_ENGLISH || language == LANG_CHINESE;
}

bool IsChineseLocale(LCID locale)
{
    return PRIMARYLANGID(LANGIDFROMLCID(ResolveLocale(locale))) == LANG_CHINESE;
}

LPWSTR ErrorTextFor(HRESULT code, LCID locale, bool *outOfMemory)
{
    *outOfMemory = false;
    const bool chinese = IsChineseLocale(locale);
    for (const OpcErrorText &entry : kOpcTexts) {
        if (entry.code == static_cast<DWORD>(code)) {
            LPWSTR text = TaskStringCopy(chinese ? entry.chinese : entry.english);
            *outOfMemory = text == nullptr;
            return text;
        }
    }
    std::wstring text;
    const LANGID language = chinese ? MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)
                                    : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    // A Win32 error wrapped in an HRESULT has the text of the error itself.
    if (!SystemText(code, language, &text) &&
        !(HRESULT_FACILITY(code) == FACILITY_WIN32 &&
          SystemText(HRESULT_CODE(code), language, &text)))
        return nullptr;
    LPWSTR result = TaskStringCopy(text.c_str());
    *outOfMemory = result == nullptr;
    return result;
}
