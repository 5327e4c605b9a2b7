// com_memory.h - task-memory arrays and strings handed to COM clients, and
// the ANSI (system code page) <-> UTF-16 conversions at the COM boundary.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

// An array of count elements in task memory (at least one element, so a
// count of 0 still gives a valid pointer); null when memory is exhausted.
template <typename T>
T *TaskAllocArray(size_t count)
{
    const size_t n = count == 0 ? 1 : count;
    T *p = static_cast<T *>(CoTaskMemAlloc(n * sizeof(T)));
    if (p != nullptr)
        ZeroMemory(p, n * sizeof(T));
    return p;
}

// A task-memory UTF-16 copy of an ANSI text; null when memory is exhausted.
LPWSTR TaskStringFromAnsi(const char *text);
// A task-memory copy of a UTF-16 text; null when memory is exhausted.
LPWSTR TaskStringCopy(LPCWSTR text);

// Converts a UTF-16 text to ANSI into a buffer of size bytes. False when the
// text is null, cannot be converted or does not fit (size - 1 bytes at most).
bool WideToAnsi(LPCWSTR text, char *buffer, size_t size);
std::wstring AnsiToWide(const char *text);

// Frees with CoTaskMemFree when not null and sets the pointer to null.
template <typename T>
void TaskFree(T *&p)
{
    if (p != nullptr) {
        CoTaskMemFree(p);
        p = nullptr;
    }
}
