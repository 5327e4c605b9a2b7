// test_host_control.h - what out-of-process tests need around the test
// host: registering the proxy/stub and the host in the test prefix,
// creating server objects through COM, talking to the host over its
// command pipe, and watching its process end.
#pragma once

#include "opc_interfaces.h"

#include <string>
#include <vector>

namespace testhost {

extern const CLSID kClassId; // the test host's class id
extern const char kProgId[]; // "LumaretTest.Host.1"

// Registers dakora_ps.dll (DllRegisterServer) and the host (-reg). True
// when both worked.
bool RegisterAll();
void UnregisterHost();

// Runs a program of the build's bin folder with arguments and waits (up to
// timeoutMs) for its exit code; output (stdout and stderr) is collected.
DWORD RunProgram(const std::string &exe, const std::string &arguments, std::string *output,
                 DWORD timeoutMs = 60000);
// The same for a whole command line. Output is collected until the program
// itself ends, even when a process it started keeps the output open.
DWORD RunCommandLine(const std::string &commandLine, std::string *output, DWORD timeoutMs = 60000);
std::string BinPath(const std::string &file);

// Ends every running test host (left over from an earlier test).
void EndHosts();
// While the returned handle is open, a host that starts declares no tags.
HANDLE RequestEmptyHost();

// A new server object through CoCreateInstance(CLSCTX_LOCAL_SERVER).
HRESULT CreateServer(IOPCServer **server);

// One command on the host's pipe; the reply lines (without "end").
std::vector<std::string> Command(const std::string &line);
// "ok <code>" of a command, as the code; -1 on any other reply.
int CommandCode(const std::string &line);
// The running host's process, opened for waiting; null when none answers.
HANDLE OpenHostProcess();
// The host's exit code after it ended within timeoutMs, else STILL_ACTIVE.
DWORD ExitCodeAfter(HANDLE process, DWORD timeoutMs);

// Waits until predicate() is true, pumping nothing; false on time-out.
template <typename Predicate>
bool WaitFor(Predicate predicate, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!predicate()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

} // namespace testhost
