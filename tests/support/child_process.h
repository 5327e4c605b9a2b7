// child_process.h - starting the helper programs of a cross-process test.
#pragma once

#include <windows.h>

#include <string>

// The program called name in the folder of the running test program.
std::string ProgramBesideThisOne(const std::string &name);

// Starts program with arguments (may be empty) in workingDir (null: this
// process's). Both handles of the new process in info; false on failure.
bool StartChildProcess(const std::string &program, const std::string &arguments, const char *workingDir,
                       PROCESS_INFORMATION *info);

// The same, keeping only the process handle (the caller closes it); null
// on failure.
HANDLE StartChildProcess(const std::string &program, const std::string &arguments,
                         const char *workingDir = nullptr);
