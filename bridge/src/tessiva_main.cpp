// tessiva_main.cpp - entry of Tessiva.exe, the window-less bridge that COM
// starts for OPC clients.
//   Tessiva.exe -reg     registers the OPC DA server (exit code: the result)
//   Tessiva.exe -unreg   unregisters it
//   Tessiva.exe          nothing (exit code 0)
//   anything else        runs the bridge until the process is ended
#include "bridge_identity.h"
#include "dakora_da.h"
#include "shutdown_watch.h"
#include "tst_data.h"

#include <windows.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    OutputDebugStringA("new instance");
    if (commandLine == nullptr || commandLine[0] == '\0')
        return 0;
    if (std::strcmp(commandLine, "-reg") == 0)
        return dakoar_reg(bridge::kClassId, bridge::kVendor, bridge::kServer, bridge::kVersion,
                          bridge::kServerName, 0);
    if (std::strcmp(commandLine, "-unreg") == 0)
        return dakoar_unreg(bridge::kClassId, bridge::kVendor, bridge::kServer, bridge::kVersion,
                            bridge::kServerName);
    bridge::StartShutdownWatch();
    // The server is registered at once: a client that connects before the
    // gateway publishes anything gets a server without items (no
    // configuration yet) instead of waiting.
    static CTstData data; // lives until the process is ended
    data.Start();
    for (;;)
        Sleep(1000);
}
