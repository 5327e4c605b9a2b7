// autorun.cpp - the Run value that starts the gateway at log-on.
#include "autorun.h"

#include "settings.h"

#include <windows.h>

const char kAutorunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kAutorunValueName[] = "QuenlorLumaret";

bool SyncAutorun(bool enabled)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH - 1);

    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAutorunKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS)
        return false;
    if (enabled)
        RegSetValueExA(key, kAutorunValueName, 0, REG_SZ, reinterpret_cast<const BYTE *>(path), sizeof(path));
    else
        RegDeleteValueA(key, kAutorunValueName);
    RegCloseKey(key);
    return true;
}

bool SyncAutorunFromSettings()
{
    return SyncAutorun(CSettings().RememberAutoRun() != 0);
}
