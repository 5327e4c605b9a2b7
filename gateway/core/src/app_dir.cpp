// app_dir.cpp - the running program's directory.
#include "app_dir.h"

#include <windows.h>

#include <vector>

std::string GetAppDir()
{
    // 260 characters hold any ordinary path; a longer one would come back
    // cut off, so the buffer grows until the whole path fits.
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::string();
        if (length < path.size()) {
            const std::string program(path.data(), length);
            const std::string::size_type separator = program.find_last_of("/\\");
            return separator == std::string::npos ? std::string() : program.substr(0, separator);
        }
        if (path.size() >= 32768)
            return std::string();
        path.resize(path.size() * 2);
    }
}
