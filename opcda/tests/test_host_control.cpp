// test_host_control.cpp - helpers for tests that drive the test host.
#include "test_host_control.h"

#include <tlhelp32.h>

#include <cstdlib>
#include <sstream>

namespace testhost {

const CLSID kClassId = {0x6C1A4E10, 0x3B7D, 0x4C55, {0x9A, 0x61, 0x0D, 0x2E, 0x8F, 0x4B, 0x7A, 0x20}};
const char kProgId[] = "LumaretTest.Host.1";

namespace {
const char kHostExe[] = "dakora_test_host.exe";
const char kPipeName[] = "\\\\.\\pipe\\dakora_test_host";
} // namespace

std::string BinPath(const std::string &file)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + file;
}

DWORD RunCommandLine(const std::string &commandLine, std::string *output, DWORD timeoutMs)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0))
        return 0xFFFF;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    std::string line = commandLine;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &si, &pi);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return 0xFFFF;
    }
    // Read while the program runs; a process it started may inherit the
    // pipe and keep it open long after, so the end of the program, not the
    // end of the pipe, ends the collection.
    std::string collected;
    char buffer[4096];
    auto drain = [&] {
        DWORD available = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            DWORD read = 0;
            if (!ReadFile(readEnd, buffer, available < sizeof(buffer) ? available : sizeof(buffer), &read,
                          nullptr) || read == 0)
                break;
            collected.append(buffer, read);
        }
    };
    const DWORD start = GetTickCount();
    DWORD code = 0xFFFE;
    for (;;) {
        drain();
        if (WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0) {
            GetExitCodeProcess(pi.hProcess, &code);
            break;
        }
        if (GetTickCount() - start > timeoutMs)
            break;
    }
    drain();
    CloseHandle(readEnd);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    if (output != nullptr)
        *output = collected;
    return code;
}

DWORD RunProgram(const std::string &exe, const std::string &arguments, std::string *output,
                 DWORD timeoutMs)
{
    return RunCommandLine("\"" + BinPath(exe) + "\" " + arguments, output, timeoutMs);
}

bool RegisterAll()
{
    HMODULE proxy = LoadLibraryA(BinPath("dakora_ps.dll").c_str());
    if (proxy == nullptr)
        return false;
    typedef HRESULT(WINAPI * RegisterFunction)();
    RegisterFunction registerServer =
        reinterpret_cast<RegisterFunction>(reinterpret_cast<void *>(GetProcAddress(proxy, "DllRegisterServer")));
    const bool proxyRegistered = registerServer != nullptr && SUCCEEDED(registerServer());
    return proxyRegistered && RunProgram(kHostExe, "-reg", nullptr) == 0;
}

void UnregisterHost()
{
    EndHosts();
    RunProgram(kHostExe, "-unreg", nullptr);
}

void EndHosts()
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE)
            return;
        bool found = false;
        PROCESSENTRY32 entry;
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
            if (lstrcmpiA(entry.szExeFile, kHostExe) != 0)
                continue;
            found = true;
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
            if (process != nullptr) {
                TerminateProcess(process, 99);
                WaitForSingleObject(process, 5000);
                CloseHandle(process);
            }
        }
        CloseHandle(snapshot);
        if (!found)
            return;
    }
}

HANDLE RequestEmptyHost()
{
    return CreateMutexA(nullptr, FALSE, "LumaretTestHostEmpty");
}

HRESULT CreateServer(IOPCServer **server)
{
    *server = nullptr;
    return CoCreateInstance(kClassId, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer,
                            reinterpret_cast<void **>(server));
}

std::vector<std::string> Command(const std::string &line)
{
    std::vector<std::string> lines;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
        pipe = CreateFileA(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
        if (pipe == INVALID_HANDLE_VALUE) {
            WaitNamedPipeA(kPipeName, 100);
            Sleep(20);
        }
    }
    if (pipe == INVALID_HANDLE_VALUE)
        return lines;
    const std::string request = line + "\n";
    DWORD written = 0;
    WriteFile(pipe, request.data(), static_cast<DWORD>(request.size()), &written, nullptr);
    std::string reply;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        reply.append(buffer, read);
        const bool multiLine = line.compare(0, 6, "writes") == 0;
        if (multiLine ? reply.find("end\n") != std::string::npos : reply.find('\n') != std::string::npos)
            break;
    }
    CloseHandle(pipe);
    std::istringstream in(reply);
    std::string text;
    while (std::getline(in, text)) {
        if (text == "end")
            break;
        lines.push_back(text);
    }
    return lines;
}

int CommandCode(const std::string &line)
{
    std::vector<std::string> reply = Command(line);
    if (reply.size() != 1 || reply[0].compare(0, 3, "ok ") != 0)
        return -1;
    return std::atoi(reply[0].c_str() + 3);
}

HANDLE OpenHostProcess()
{
    const int pid = CommandCode("pid");
    if (pid <= 0)
        return nullptr;
    return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(pid));
}

DWORD ExitCodeAfter(HANDLE process, DWORD timeoutMs)
{
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    return code;
}

} // namespace testhost
