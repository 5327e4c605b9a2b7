// opc_registration.h - registration of the OPC component: "Tessiva.exe -reg"
// run once per machine, recorded by the registration marker. A failed
// registration ends the program.
#pragma once

#include <windows.h>

// How long the registration run may take before it is ended.
const DWORD kRegistrationTimeoutMs = 30000;

// Registers unless the marker exists (no message on success).
void CheckOpcRegistration(HWND owner);
// Runs "Tessiva.exe -reg" and writes the marker. On any failure of the run
// it shows the reason and ends the process with exit code 0; a marker that
// cannot be written is reported and the program goes on.
void RegisterOpcComponent(HWND owner, bool showSuccess);
