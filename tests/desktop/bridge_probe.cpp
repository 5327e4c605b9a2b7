// bridge_probe.cpp - stands in for Tessiva.exe in the registration tests:
// appends its command line to "probe.log" in its own directory, then, as
// "probe.cfg" there says (first line the exit code, second line a pause in
// milliseconds), waits and ends with that code. Without the file: code 0
// at once.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    dir = dir.substr(0, dir.find_last_of("\\/"));

    {
        std::ofstream log(dir + "\\probe.log", std::ios::app | std::ios::binary);
        log << (commandLine != nullptr ? commandLine : "") << "\n";
    }

    int exitCode = 0;
    long pauseMs = 0;
    std::ifstream config(dir + "\\probe.cfg");
    if (config)
        config >> exitCode >> pauseMs;
    if (pauseMs > 0)
        Sleep(static_cast<DWORD>(pauseMs));
    return exitCode;
}
