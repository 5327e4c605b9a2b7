// child_process.cpp - starting the helper programs of a cross-process test.
#include "child_process.h"

#include <cstdio>

std::string ProgramBesideThisOne(const std::string &name)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string self(path);
    return self.substr(0, self.find_last_of("\\/") + 1) + name;
}

bool StartChildProcess(const std::string &program, const std::string &arguments, const char *workingDir,
                       PROCESS_INFORMATION *info)
{
    std::string commandLine = "\"" + program + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    // Under load Wine's loader rarely dies while a new process starts (the
    // same start-up failure wine-run retries for a test program); the start
    // is tried once more then, and the failure named on the error output.
    for (int attempt = 0; attempt < 2; ++attempt) {
        ZeroMemory(info, sizeof(*info));
        if (CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, workingDir,
                           &startup, info))
            return true;
        const DWORD error = GetLastError();
        std::fprintf(stderr, "child process %s did not start (error %lu)%s\n", program.c_str(),
                     static_cast<unsigned long>(error), attempt == 0 ? ", starting it again" : "");
        SetLastError(error);
    }
    return false;
}

HANDLE StartChildProcess(const std::string &program, const std::string &arguments, const char *workingDir)
{
    PROCESS_INFORMATION info;
    if (!StartChildProcess(program, arguments, workingDir, &info))
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}
