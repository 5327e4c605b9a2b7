// registration_test.cpp - the OPC component registration at start: the
// marker that skips it, the bridge program run with "-reg" (the real one,
// which writes the COM registration) in the background while the window
// answers, and every way it can fail, each of which ends the program with
// its message.
#include "desktop_test_env.h"
#include "registration_marker.h"

#include <tlhelp32.h>

namespace {

const char kBridgeClassKey[] = "CLSID\\{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}\\LocalServer32";

std::string ProbePath()
{
    return TestProgramDir() + "\\desktop_bridge_probe.exe";
}

void WriteProbeConfig(const CLumaretRun &run, int exitCode, long pauseMs)
{
    const std::string text = std::to_string(exitCode) + "\n" + std::to_string(pauseMs) + "\n";
    HANDLE file = CreateFileA(run.File("probe.cfg").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string RegisteredServerPath()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kBridgeClassKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<missing>";
    char value[1024] = "";
    DWORD length = sizeof(value);
    RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE *>(value), &length);
    RegCloseKey(key);
    return value;
}

void DeleteRegisteredServer()
{
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kBridgeClassKey);
}

bool ProcessRuns(const char *name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    bool found = false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
        found = lstrcmpiA(entry.szExeFile, name) == 0;
    CloseHandle(snapshot);
    return found;
}

} // namespace

class Registration : public DesktopTest {
protected:
    // A start that fails its registration: the message, then the end of the
    // program with code 0. Without a bridge program the main window never
    // appears; a run of the bridge program goes on behind the main window.
    void ExpectFailedStart(CLumaretRun &run, const std::string &message, bool windowShown,
                           DWORD timeoutMs = kDefaultWaitMs)
    {
        ASSERT_TRUE(run.Start());
        if (windowShown) {
            ASSERT_TRUE(run.WaitForMainWindow());
            // The window answers while the run is under way.
            while (!gui::AnyMessageBox(run.ProcessId()) && run.IsRunning()) {
                EXPECT_TRUE(Answers(run.Main()));
                Sleep(500);
            }
        }
        const gui::MessageBoxInfo box = gui::WaitForMessageBox(run.ProcessId(), timeoutMs);
        ASSERT_NE(nullptr, box.window) << "no message box, expected: " << message;
        EXPECT_EQ(message, box.text);
        EXPECT_EQ("Lumaret", box.caption);
        EXPECT_EQ(windowShown, !gui::TopLevelWindows(run.ProcessId(), kLumaretWindowClass).empty());
        EXPECT_TRUE(gui::AnswerMessageBox(box, IDOK));
        DWORD code = 1;
        EXPECT_TRUE(run.WaitForExit(20000, &code)) << "the program should end after the message";
        EXPECT_EQ(0u, code);
        EXPECT_FALSE(FileExists(run.RegistrationMarkerPath()));
    }
};

TEST_F(Registration, MarkerPresentRunsNothing)
{
    CLumaretRun run("registration_marker_present");
    run.PrepareForPlatform(platform.Port());
    ASSERT_TRUE(run.ReplaceBridge(ProbePath()));
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForMainWindow());
    Sleep(1000);
    EXPECT_FALSE(FileExists(run.File("probe.log"))) << "the bridge program was run";
    EXPECT_FALSE(gui::AnyMessageBox(run.ProcessId()));
    EXPECT_TRUE(run.Exit());
}

TEST_F(Registration, MissingBridgeEndsProgram)
{
    CLumaretRun run("registration_missing_bridge");
    run.SetSetting("local", "RememberAutoRun", "0");
    run.RemoveBridge();
    ExpectFailedStart(run, "缺少文件Tessiva.exe!注册失败!", false);
}

TEST_F(Registration, BridgeRefusingEndsProgram)
{
    CLumaretRun run("registration_refused");
    run.SetSetting("local", "RememberAutoRun", "0");
    ASSERT_TRUE(run.ReplaceBridge(ProbePath()));
    WriteProbeConfig(run, 3, 0);
    ExpectFailedStart(run, "初始化OPC失败!请以管理员身份运行!", true);
    EXPECT_EQ("-reg\n", ReadFileBytes(run.File("probe.log")));
}

TEST_F(Registration, RealBridgeRegistersAndWritesMarker)
{
    CLumaretRun run("registration_real");
    run.SetSetting("local", "RememberAutoRun", "0");
    DeleteRegisteredServer();
    ASSERT_EQ("<missing>", RegisteredServerPath());
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForMainWindow());
    EXPECT_TRUE(WaitUntil([&] { return FileExists(run.RegistrationMarkerPath()); }, 30000));
    Sleep(500);
    EXPECT_FALSE(gui::AnyMessageBox(run.ProcessId())) << "no message on a successful registration at start";
    WIN32_FILE_ATTRIBUTE_DATA marker;
    ASSERT_TRUE(GetFileAttributesExA(run.RegistrationMarkerPath().c_str(), GetFileExInfoStandard, &marker));
    EXPECT_EQ(0u, marker.nFileSizeLow);
    // The bridge of this directory registered itself as the COM server.
    const std::string server = RegisteredServerPath();
    EXPECT_NE(std::string::npos, server.find(run.File("Tessiva.exe"))) << server;

    // The menu command registers again, marker or not, and says so.
    DeleteRegisteredServer();
    run.Command(lumaret::kRegisterOpc);
    ExpectMessage(run, "初始化OPC组件成功!");
    EXPECT_NE(std::string::npos, RegisteredServerPath().find(run.File("Tessiva.exe")));
    EXPECT_TRUE(run.IsRunning());
    EXPECT_TRUE(run.Exit());
}

TEST_F(Registration, SlowBridgeIsEndedAfterThirtySeconds)
{
    CLumaretRun run("registration_timeout");
    run.SetSetting("local", "RememberAutoRun", "0");
    ASSERT_TRUE(run.ReplaceBridge(ProbePath()));
    WriteProbeConfig(run, 0, 120000);
    const ULONGLONG started = GetTickCount64();
    ExpectFailedStart(run, "初始化OPC组件超时!", true, 60000);
    const ULONGLONG elapsed = GetTickCount64() - started;
    EXPECT_GE(elapsed, 29000u);
    // The bridge program was ended, not left waiting.
    EXPECT_TRUE(WaitUntil([] { return !ProcessRuns("Tessiva.exe"); }, 10000));
}
