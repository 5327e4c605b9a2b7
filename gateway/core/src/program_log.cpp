// program_log.cpp - the program's log file, opened when "LogEnabled" is set.
#include "program_log.h"

#include "app_dir.h"
#include "log_printf.h"
#include "settings.h"

std::string LogFilePath()
{
    return GetAppDir() + "/Lumaret.log";
}

bool StartProgramLog(const CSettings &settings)
{
    if (settings.LogEnabled() == 0)
        return false;
    if (!OpenLog(LogFilePath()))
        return false;
    LogPrintf("init log...");
    return true;
}
