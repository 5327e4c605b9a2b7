// log_printf.cpp - the optional log file and its line writer.
#include "log_printf.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

std::atomic<HANDLE> g_logFile{nullptr};

} // namespace

bool OpenLog(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    HANDLE previous = g_logFile.exchange(file);
    if (previous != nullptr)
        CloseHandle(previous);
    return true;
}

void CloseLog()
{
    HANDLE previous = g_logFile.exchange(nullptr);
    if (previous != nullptr)
        CloseHandle(previous);
}

bool LogIsOn()
{
    return g_logFile.load() != nullptr;
}

void LogPrintf(const char *format, ...)
{
    HANDLE file = g_logFile;
    if (file == nullptr)
        return;

    char timeText[128];
    const __time64_t now = _time64(nullptr);
    struct tm local;
    if (_localtime64_s(&local, &now) != 0 || std::strftime(timeText, sizeof(timeText), "%Y-%m-%d %H:%M:%S", &local) == 0)
        timeText[0] = '\0';

    va_list arguments;
    va_start(arguments, format);
    va_list measuring;
    va_copy(measuring, arguments);
    const int messageLength = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    std::string message(messageLength > 0 ? static_cast<std::size_t>(messageLength) : 0, '\0');
    if (messageLength > 0)
        std::vsnprintf(&message[0], message.size() + 1, format, arguments);
    va_end(arguments);

    const std::string line = std::string(timeText) + " " + message + "\r\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    FlushFileBuffers(file);
}
