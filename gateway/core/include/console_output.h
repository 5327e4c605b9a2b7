// console_output.h - the gateway's debug lines on the standard output,
// printf-style, flushed at once.
#pragma once

void ConsolePrintf(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(gnu_printf, 1, 2)))
#endif
    ;
