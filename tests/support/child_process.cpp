// child_process.cpp - starting the helper programs of a cross-process test.
#include "child_process.h"

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
    ZeroMemory(info, sizeof(*info));
    return CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, workingDir, &startup,
                          info) != FALSE;
}

HANDLE StartChildProcess(const std::string &program, const std::string &arguments, const char *workingDir)
{
    PROCESS_INFORMATION info;
    if (!StartChildProcess(program, arguments, workingDir, &info))
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}
