// opc_registration.cpp - the registration check at start and the
// registration run of the bridge program, on a thread of its own.
#include "opc_registration.h"

#include "app_dir.h"
#include "background_task.h"
#include "busy_cursor.h"
#include "log_printf.h"
#include "message_box.h"
#include "registration_marker.h"
#include "tray_icon.h"
#include "ui_messages.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <string>

const char kRegistrationProgressText[] = "正在初始化OPC组件";

namespace {

const char kBridgeProgram[] = "Tessiva.exe";

enum class RunOutcome {
    kRegistered,
    kMarkerNotWritten, // registered, but the marker could not be created
    kNoExitCode,       // not started, or its exit code could not be read
    kRefused,          // ended with a code other than 0
    kTimedOut,         // ended by force after the time-out
};

struct RegistrationResult {
    RunOutcome outcome;
    bool showSuccess;
};

bool g_running = false;

[[noreturn]] void FailAndEnd(HWND owner, const char *text)
{
    ShowMessage(owner, text, MB_OK | MB_ICONERROR);
    // The icon would stay in the notification area after the process.
    if (owner != nullptr)
        CTrayIcon::Remove(owner);
    ExitProcess(0);
}

std::string BridgePath()
{
    return GetAppDir() + "\\" + kBridgeProgram;
}

// The registration run itself; on the background thread.
RunOutcome RunRegistration()
{
    const std::string markerPath = RegistrationMarkerPath();
    const std::string directory = GetAppDir();
    const std::string program = BridgePath();
    // The shell's execution may use COM on the calling thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

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

    RunOutcome outcome = RunOutcome::kNoExitCode;
    if (started && run.hProcess != nullptr) {
        if (WaitForSingleObject(run.hProcess, kRegistrationTimeoutMs) == WAIT_TIMEOUT) {
            TerminateProcess(run.hProcess, 0);
            outcome = RunOutcome::kTimedOut;
        } else {
            DWORD exitCode = 0;
            if (GetExitCodeProcess(run.hProcess, &exitCode))
                outcome = exitCode == 0 ? RunOutcome::kRegistered : RunOutcome::kRefused;
        }
        CloseHandle(run.hProcess);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    if (outcome != RunOutcome::kRegistered)
        return outcome;

    HANDLE marker = CreateFileA(markerPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE)
        return RunOutcome::kMarkerNotWritten;
    CloseHandle(marker);
    return RunOutcome::kRegistered;
}

} // namespace

void CheckOpcRegistration(HWND window)
{
    if (PathFileExistsA(RegistrationMarkerPath().c_str()))
        return;
    StartOpcRegistration(window, false);
}

bool StartOpcRegistration(HWND window, bool showSuccess)
{
    if (g_running)
        return false;
    if (!PathFileExistsA(BridgePath().c_str()))
        FailAndEnd(window, "缺少文件Tessiva.exe!注册失败!");
    g_running = true;
    BeginBusy();
    StartBackgroundTask<RegistrationResult>(window, WM_REGISTRATION_DONE, [showSuccess] {
        return RegistrationResult{RunRegistration(), showSuccess};
    });
    return true;
}

bool IsOpcRegistrationRunning()
{
    return g_running;
}

void FinishOpcRegistration(HWND owner, LPARAM lParam)
{
    const std::unique_ptr<RegistrationResult> result = TakeTaskResult<RegistrationResult>(lParam);
    g_running = false;
    EndBusy();
    switch (result->outcome) {
    case RunOutcome::kTimedOut:
        FailAndEnd(owner, "初始化OPC组件超时!");
    case RunOutcome::kNoExitCode:
        FailAndEnd(owner, "初始化OPC组件失败!");
    case RunOutcome::kRefused:
        FailAndEnd(owner, "初始化OPC失败!请以管理员身份运行!");
    case RunOutcome::kMarkerNotWritten:
        ShowMessage(owner, "初始化OPC组件失败!无法写入文件！", MB_OK | MB_ICONERROR);
        return;
    case RunOutcome::kRegistered:
        if (result->showSuccess)
            ShowMessage(owner, "初始化OPC组件成功!", MB_OK | MB_ICONINFORMATION);
        return;
    }
}
