// log_printf.h - the gateway's optional text log: one line per call, local
// time first, written in a single write and flushed. Any thread may write.
#pragma once

#include <string>

// Opens (or creates) the log file; new lines go after its content. Until it
// is opened, and when it cannot be, LogPrintf writes nothing.
bool OpenLog(const std::string &path);
void CloseLog();
// True while the log is open (for callers whose message costs to build).
bool LogIsOn();

// printf-style; the line is "%Y-%m-%d %H:%M:%S", a blank, the message, CR LF.
void LogPrintf(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(gnu_printf, 1, 2)))
#endif
    ;
