// process_kill.h - ends a running program by its file name.
#pragma once

#include <string>

// Terminates (exit code 0) the first running process whose executable file
// name equals name, ignoring case. True when one was found.
bool KillProcessByName(const std::string &name);
