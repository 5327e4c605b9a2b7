// lumaret_main.cpp - entry of Lumaret.exe: the start-up order (platform
// address, bridge ended, common controls, sockets, OLE, autorun, single
// instance, log, main window, start-up continuation) and the message loop.
// Sockets first: the other headers bring in windows.h.
#include <winsock2.h>

#include "autorun.h"
#include "main_frame.h"
#include "message_box.h"
#include "platform_address.h"
#include "program_log.h"
#include "resource_ids.h"
#include "settings.h"
#include "single_instance.h"
#include "tray_icon.h"
#include "window_notifications.h"

#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

namespace {

const char kWindowTitle[] = "Lumaret - 1.3.0.4";
// The taskbar groups the program's windows under this id.
const wchar_t kApplicationId[] = L"QuenlorDakoar.AppID.NoVersion";

void SetApplicationId()
{
    using SetIdFunction = HRESULT(WINAPI *)(PCWSTR);
    HMODULE shell = GetModuleHandleA("shell32.dll");
    if (shell == nullptr)
        shell = LoadLibraryA("shell32.dll");
    FARPROC entry = shell != nullptr ? GetProcAddress(shell, "SetCurrentProcessExplicitAppUserModelID") : nullptr;
    if (entry != nullptr)
        reinterpret_cast<SetIdFunction>(reinterpret_cast<void *>(entry))(kApplicationId);
}

void ShowStringMessage(UINT id)
{
    char text[256] = "";
    LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof(text));
    ShowMessage(nullptr, text, MB_OK | MB_ICONERROR);
}

int RunMessageLoop(HWND mainWindow)
{
    HACCEL accelerators = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (accelerators != nullptr && TranslateAcceleratorA(mainWindow, accelerators, &message))
            continue;
        // Tab and arrow keys move between the controls of the panels.
        if (IsDialogMessageA(mainWindow, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // Read once for the whole run: a change in the settings dialog takes
    // effect at the next start.
    CurrentPlatformAddress();
    SetApplicationId();
    // A bridge that is already running (started by a client before the
    // gateway, or left from an earlier run) is left alone: it reports its
    // items as not current while no gateway publishes, and takes this run's
    // snapshot as soon as there is one.

    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);

    WSADATA sockets;
    if (WSAStartup(MAKEWORD(2, 2), &sockets) != 0) {
        ShowStringMessage(IDP_SOCKETS_INIT_FAILED);
        return 0;
    }
    if (FAILED(OleInitialize(nullptr))) {
        ShowStringMessage(IDP_OLE_INIT_FAILED);
        return 0;
    }
    SyncAutorunFromSettings();
    if (!TakeSingleInstance())
        return 0;
    StartProgramLog(CSettings());

    // Like the main window, the receiver stays until the process ends.
    SetStatusNotifications(new CWindowNotifications);

    // Lives until the process ends: its worker threads use it to the last.
    CMainFrame *frame = new CMainFrame;
    if (!frame->Create(instance)) {
        OleUninitialize();
        return 0;
    }
    ShowWindow(frame->Hwnd(), SW_SHOW);
    UpdateWindow(frame->Hwnd());
    SetWindowTextA(frame->Hwnd(), kWindowTitle);
    frame->StartupContinuation();

    const int exitCode = RunMessageLoop(frame->Hwnd());
    CTrayIcon::Remove(frame->Hwnd());
    OleUninitialize();
    return exitCode;
}
