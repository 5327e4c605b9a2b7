// opc_registration.h - registration of the OPC component: "Tessiva.exe -reg"
// run once per machine, recorded by the registration marker. The run goes
// on a thread of its own and reports to the main window, which shows the
// outcome; a failed registration ends the program.
#pragma once

#include <windows.h>

// How long the registration run may take before it is ended.
const DWORD kRegistrationTimeoutMs = 30000;
// Shown in the status bar while the registration runs.
extern const char kRegistrationProgressText[];

// Registers unless the marker exists (no message on success); window
// receives the outcome as WM_REGISTRATION_DONE.
void CheckOpcRegistration(HWND window);
// Starts the registration: a missing bridge program is reported at once and
// ends the program; otherwise the run starts in the background and window
// receives WM_REGISTRATION_DONE. False (nothing started) while a run is on.
bool StartOpcRegistration(HWND window, bool showSuccess);
bool IsOpcRegistrationRunning();
// WM_REGISTRATION_DONE: shows the outcome with owner as the message boxes'
// owner. A failed run ends the process with exit code 0; a marker that
// cannot be written is reported and the program goes on.
void FinishOpcRegistration(HWND owner, LPARAM lParam);
