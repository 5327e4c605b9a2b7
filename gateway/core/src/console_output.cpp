// console_output.cpp - debug lines on the standard output.
#include "console_output.h"

#include <cstdarg>
#include <cstdio>

void ConsolePrintf(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
}
