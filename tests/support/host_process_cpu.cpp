// host_process_cpu.cpp - CPU time of a process from the Linux process table.
#include "host_process_cpu.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace {

std::string ReadWhole(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        text.append(buffer, read);
    CloseHandle(file);
    return text;
}

// Fields 14 and 15 of /proc/<pid>/stat, after the command name in
// parentheses: user and system time in clock ticks of 10 ms.
double CpuOfStat(const std::string &stat)
{
    const std::string::size_type close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index)
        if (index >= 14)
            ticks += std::atof(field.c_str());
    return ticks * 10.0;
}

} // namespace

double HostProcessCpuMs(const std::string &commandLineFragment)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE)
        return -1;
    std::string fragment = commandLineFragment;
    for (char &c : fragment)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    double cpu = -1;
    do {
        if (!std::isdigit(static_cast<unsigned char>(entry.cFileName[0])))
            continue;
        const std::string dir = std::string("Z:\\proc\\") + entry.cFileName;
        std::string commandLine = ReadWhole(dir + "\\cmdline");
        for (char &c : commandLine)
            c = c == '\0' ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (commandLine.find(fragment) == std::string::npos)
            continue;
        cpu = CpuOfStat(ReadWhole(dir + "\\stat"));
        break;
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return cpu;
}
