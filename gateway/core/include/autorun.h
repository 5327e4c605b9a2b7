// autorun.h - the "QuenlorLumaret" value under the machine's Run key, which
// starts the gateway at log-on, kept in line with "RememberAutoRun".
#pragma once

extern const char kAutorunKey[];       // "Software\Microsoft\Windows\CurrentVersion\Run" (HKEY_LOCAL_MACHINE)
extern const char kAutorunValueName[]; // "QuenlorLumaret"

// enabled: the value holds the program's full path (REG_SZ, 260 bytes, zero
// padded); otherwise the value is deleted. False when the key could not be
// opened for writing (nothing reported).
bool SyncAutorun(bool enabled);
// SyncAutorun with "RememberAutoRun" of the program's settings file.
bool SyncAutorunFromSettings();
