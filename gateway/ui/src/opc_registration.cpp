// opc_registration.cpp - the registration check at start and the
// registration run of the bridge program.
#include "opc_registration.h"

#include "app_dir.h"
#include "log_printf.h"
#include "message_box.h"
#include "registration_marker.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <string>

namespace {

const char kBridgeProgram[] = "Tessiva.exe";

[[noreturn]] void EndProgram()
{
    ExitProcess(0);
}

[[noreturn]] void FailAndEnd(HWND owner, const char *text)
{
    ShowMessage(owner, text, MB_OK | MB_ICONERROR);
    EndProgram();
}

} // namespace

void CheckOpcRegistration(HWND owner)
{
    if (PathFileExistsA(RegistrationMarkerPath().c_str()))
        return;
    RegisterOpcComponent(owner, false);
}

void RegisterOpcComponent(HWND owner, bool showSuccess)
{
    const std::string markerPath = RegistrationMarkerPath();
    const std::string directory = GetAppDir();
    const std::string program = directory + "\\" + kBridgeProgram;
    if (!PathFileExistsA(program.c_str()))
        FailAndEnd(owner, "缺少文件Tessiva.exe!注册失败!");

    // The bridge of this directory, by its full path: a program of the same
    // name elsewhere on the search path is never the one registered.
    SHELLEXECUTEINFOA run;
    ZeroMemory(&run, sizeof(run));
    run.cbSize = sizeof(run);
    run.fMask = SEE_MASK_NOCLOSEPROCESS;
    run.hwnd = nullptr;
    run.lpVerb = nullptr;
    run.lpFile = program.c_str();
    run.lpParameters = "-reg";
    run.lpDirectory = directory.c_str();
    run.nShow = SW_HIDE;
    const BOOL started = ShellExecuteExA(&run);
    LogPrintf("register OPC component: started=%d", started ? 1 : 0);

    DWORD exitCode = 0;
    bool haveExitCode = false;
    if (started && run.hProcess != nullptr) {
        if (WaitForSingleObject(run.hProcess, kRegistrationTimeoutMs) == WAIT_TIMEOUT) {
            TerminateProcess(run.hProcess, 0);
            CloseHandle(run.hProcess);
            FailAndEnd(owner, "初始化OPC组件超时!");
        }
        haveExitCode = GetExitCodeProcess(run.hProcess, &exitCode) != FALSE;
        CloseHandle(run.hProcess);
    }
    if (!haveExitCode)
        FailAndEnd(owner, "初始化OPC组件失败!");
    if (exitCode != 0)
        FailAndEnd(owner, "初始化OPC失败!请以管理员身份运行!");

    HANDLE marker = CreateFileA(markerPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE) {
        ShowMessage(owner, "初始化OPC组件失败!无法写入文件！", MB_OK | MB_ICONERROR);
        return;
    }
    CloseHandle(marker);
    if (showSuccess)
        ShowMessage(owner, "初始化OPC组件成功!", MB_OK | MB_ICONINFORMATION);
}
