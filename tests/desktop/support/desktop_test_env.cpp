// desktop_test_env.cpp - shared set-up and helpers of the desktop tests.
#include "desktop_test_env.h"

#include "bridge_shutdown.h"
#include "screen_capture.h"

#include <objbase.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>

std::string ScreenshotDir()
{
    const char *dir = std::getenv("LUMARET_SCREENSHOTS");
    const std::string path = dir != nullptr ? WindowsPathOf(dir) : TestProgramDir() + "\\screenshots";
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

std::string AutorunValue(DWORD *size)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return "<missing>";
    char value[1024] = "";
    DWORD length = sizeof(value);
    DWORD type = 0;
    const LONG result =
        RegQueryValueExA(key, "QuenlorLumaret", nullptr, &type, reinterpret_cast<BYTE *>(value), &length);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return "<missing>";
    if (size != nullptr)
        *size = length;
    return value;
}

void DeleteAutorunValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_WRITE, &key) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, "QuenlorLumaret");
    RegCloseKey(key);
}

void EndProcesses(const char *name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, name) != 0)
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (process != nullptr) {
            TerminateProcess(process, 99);
            WaitForSingleObject(process, 10000);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
}

void DesktopTest::SetUp()
{
    // A program left over by an earlier test would hold the single instance.
    EndProcesses("Lumaret.exe");
    EndBridgeProgram("Tessiva.exe"); // asked first: a killed one stays registered under Wine
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_TRUE(platform.IsReady()) << platform.Problem();
    ASSERT_TRUE(platform.Control("{\"reset\": true, \"clear_requests\": true, \"clock\": {\"freeze\": false}}"));
}

void DesktopTest::TearDown()
{
    // An autorun entry left behind would start a program at a later log-on.
    DeleteAutorunValue();
    CoUninitialize();
}

void DesktopTest::Screenshot(HWND window, const std::string &name)
{
    // Painting of what changed last may still be under way.
    Sleep(800);
    const std::string path = ScreenshotDir() + "\\" + name + ".png";
    const bool saved = SavePng(CaptureWindow(window), path);
    std::printf("screenshot %s: %s\n", saved ? "saved" : "NOT saved", path.c_str());
    EXPECT_TRUE(saved) << path;
}

void DesktopTest::ExpectMessage(const CLumaretRun &run, const std::string &text, int answer, const char *caption)
{
    const gui::MessageBoxInfo box = gui::WaitForMessageBox(run.ProcessId(), kDefaultWaitMs);
    ASSERT_NE(nullptr, box.window) << "no message box, expected: " << text;
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(caption, box.caption);
    EXPECT_TRUE(gui::AnswerMessageBox(box, answer));
}

void DesktopTest::ExpectMessageWithNumber(const CLumaretRun &run, const std::string &prefix, DWORD timeoutMs)
{
    const gui::MessageBoxInfo box = gui::WaitForMessageBox(run.ProcessId(), timeoutMs);
    ASSERT_NE(nullptr, box.window) << "no message box, expected: " << prefix;
    const std::string number = box.text.compare(0, prefix.size(), prefix) == 0 ? box.text.substr(prefix.size()) : "";
    EXPECT_TRUE(!number.empty() && number.find_first_not_of("0123456789") == std::string::npos)
        << box.text << " / expected: " << prefix << "<number>";
    EXPECT_TRUE(gui::AnswerMessageBox(box, IDOK));
}

bool DesktopTest::Answers(HWND window)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result) != 0;
}

bool DesktopTest::WaitForText(HWND window, const std::string &expected, DWORD timeoutMs)
{
    return WaitUntil([&] { return gui::Text(window) == expected; }, timeoutMs);
}
