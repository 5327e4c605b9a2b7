// lumaret_run.cpp - program directory, process and windows of one run.
#include "lumaret_run.h"

#include "child_process.h"
#include "control_access.h"
#include "registration_marker.h"
#include "standin_platform.h"
#include "test_files.h"
#include "wait_until.h"
#include "window_search.h"

#include <cstdlib>
#include <vector>

const char kLumaretWindowClass[] = "QuenlorLumaretCls";

namespace {

// Ids of the main window's children and of the panels' controls.
const int kStatusBarId = 0xE801;
const int kStatusButtonId = 1017;
const int kSubmitId = 1031;
const int kTreeId = 8888;
const UINT kExitCommand = 32792;

const char *const kProgramFiles[] = {"Lumaret.exe", "Tessiva.exe", "dakora_da.dll"};

} // namespace

std::string TestProgramDir()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text = path;
    return text.substr(0, text.find_last_of("\\/"));
}

std::string DesktopWorkRoot()
{
    const char *root = std::getenv("LUMARET_DESKTOP_WORK");
    std::string path = root != nullptr ? WindowsPathOf(root) : TestProgramDir() + "\\desktop_work";
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

CLumaretRun::CLumaretRun(const std::string &name) : m_dir(DesktopWorkRoot() + "\\" + name)
{
    RemoveTree(m_dir);
    CreateDirectoryA(m_dir.c_str(), nullptr);
    const std::string bin = TestProgramDir();
    for (const char *file : kProgramFiles)
        CopyFileA((bin + "\\" + file).c_str(), File(file).c_str(), FALSE);
}

CLumaretRun::~CLumaretRun()
{
    if (IsRunning())
        Kill();
    if (m_process != nullptr)
        CloseHandle(m_process);
}

void CLumaretRun::SetSetting(const char *section, const char *key, const std::string &value)
{
    WritePrivateProfileStringA(section, key, value.c_str(), SettingsPath().c_str());
}

std::string CLumaretRun::Setting(const char *section, const char *key) const
{
    char text[2048] = "";
    GetPrivateProfileStringA(section, key, "<missing>", text, sizeof(text), SettingsPath().c_str());
    return text;
}

void CLumaretRun::PrepareForPlatform(int port)
{
    SetSetting("server", "host", "127.0.0.1");
    SetSetting("server", "port", std::to_string(port));
    SetSetting("local", "RememberAutoRun", "0");
    CreateRegistrationMarker();
}

std::string CLumaretRun::RegistrationMarkerPath() const
{
    return File(RegistrationMarkerName());
}

bool CLumaretRun::CreateRegistrationMarker()
{
    HANDLE marker = CreateFileA(RegistrationMarkerPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(marker);
    return true;
}

bool CLumaretRun::ReplaceBridge(const std::string &programPath)
{
    return CopyFileA(programPath.c_str(), File("Tessiva.exe").c_str(), FALSE) != FALSE;
}

void CLumaretRun::RemoveBridge()
{
    DeleteFileA(File("Tessiva.exe").c_str());
}

bool CLumaretRun::Start()
{
    // The test's own directory as working directory: the program must find
    // its files by its own path.
    PROCESS_INFORMATION info;
    if (!StartChildProcess(File("Lumaret.exe"), "", DesktopWorkRoot().c_str(), &info))
        return false;
    CloseHandle(info.hThread);
    if (m_process != nullptr)
        CloseHandle(m_process);
    m_process = info.hProcess;
    m_processId = info.dwProcessId;
    m_main = nullptr;
    return true;
}

HANDLE CLumaretRun::StartBridge() const
{
    return StartChildProcess(File("Tessiva.exe"), "-Embedding", m_dir.c_str());
}

bool CLumaretRun::IsRunning() const
{
    return m_process != nullptr && WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

bool CLumaretRun::WaitForExit(DWORD timeoutMs, DWORD *code)
{
    if (m_process == nullptr || WaitForSingleObject(m_process, timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD exitCode = 0;
    GetExitCodeProcess(m_process, &exitCode);
    if (code != nullptr)
        *code = exitCode;
    return true;
}

bool CLumaretRun::WaitForMainWindow(DWORD timeoutMs)
{
    m_main = gui::WaitForTopLevel(m_processId, kLumaretWindowClass, nullptr, timeoutMs);
    if (m_main == nullptr)
        return false;
    // The start-up continuation has run once the polling worker it starts
    // has put its first text into the status bar ("等待登录" until then).
    return WaitUntil(
        [this] {
            if (StatePanel() == nullptr || Tree() == nullptr || List() == nullptr || StatusBar() == nullptr)
                return false;
            const std::string text = StatusBarText();
            return !text.empty() && text != "等待登录";
        },
        timeoutMs);
}

bool CLumaretRun::Exit(DWORD timeoutMs)
{
    if (!IsRunning())
        return true;
    Command(kExitCommand);
    if (WaitForExit(timeoutMs))
        return true;
    Kill();
    return false;
}

void CLumaretRun::Kill()
{
    if (m_process != nullptr) {
        TerminateProcess(m_process, 99);
        WaitForSingleObject(m_process, 10000);
    }
}

HWND CLumaretRun::StatePanel() const
{
    return m_main != nullptr ? gui::FindDialogHolding(m_main, kStatusButtonId) : nullptr;
}

HWND CLumaretRun::Toolbar() const
{
    return m_main != nullptr ? gui::FindDialogHolding(m_main, kSubmitId) : nullptr;
}

HWND CLumaretRun::Tree() const
{
    return m_main != nullptr ? gui::FindDescendant(m_main, "SysTreeView32", kTreeId) : nullptr;
}

HWND CLumaretRun::List() const
{
    return m_main != nullptr ? gui::FindDescendant(m_main, "SysListView32", 0) : nullptr;
}

HWND CLumaretRun::StatusBar() const
{
    return m_main != nullptr ? gui::FindDescendant(m_main, "msctls_statusbar32", kStatusBarId) : nullptr;
}

std::string CLumaretRun::StatusBarText() const
{
    return gui::StatusText(StatusBar(), 1);
}

void CLumaretRun::Command(UINT id) const
{
    PostMessageA(m_main, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}
