// program_log.h - opens the program's log "Lumaret.log" in the program
// directory when the settings ask for it.
#pragma once

#include <string>

class CSettings;

// GetAppDir() + "/Lumaret.log".
std::string LogFilePath();

// When "LogEnabled" is non-zero: opens the log (appending) and writes
// "init log...". True when the log is open.
bool StartProgramLog(const CSettings &settings);
