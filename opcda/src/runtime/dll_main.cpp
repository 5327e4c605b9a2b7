// dll_main.cpp - entry point of dakora_da.dll. It only reports success: the
// library's objects are static and built by the runtime before this runs.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
