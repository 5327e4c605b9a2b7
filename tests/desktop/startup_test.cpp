// startup_test.cpp - Lumaret's start: defaults without a settings file,
// a running bridge left alone, the autorun entry, the registration at the
// first start, and the single instance that brings the first copy back.
#include "desktop_test_env.h"
#include "registration_marker.h"
#include "segment_snapshot.h"

class Startup : public DesktopTest {};

TEST_F(Startup, DefaultsWithoutSettingsFile)
{
    CLumaretRun run("startup_defaults");
    DeleteAutorunValue();
    ASSERT_FALSE(FileExists(run.SettingsPath()));
    HANDLE bridge = run.StartBridge();
    ASSERT_NE(nullptr, bridge);
    ASSERT_EQ(WAIT_TIMEOUT, WaitForSingleObject(bridge, 500)) << "the bridge should run until it is ended";

    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForMainWindow()) << "main window did not come up";
    // A bridge already running keeps running for its clients.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(bridge, 2000));
    TerminateProcess(bridge, 0);
    WaitForSingleObject(bridge, 10000);
    CloseHandle(bridge);

    EXPECT_EQ("Lumaret - 1.3.0.4", gui::Text(run.Main()));
    EXPECT_TRUE(IsWindowVisible(run.Main()));

    // First start: the OPC component was registered and the marker written.
    EXPECT_TRUE(FileExists(run.File(RegistrationMarkerName())));
    // Autorun is on by default: the entry holds the program's path, 260 bytes.
    DWORD size = 0;
    EXPECT_EQ(run.File("Lumaret.exe"), AutorunValue(&size));
    EXPECT_EQ(260u, size);
    // Nothing is written to the settings file at start, and the log is off.
    EXPECT_FALSE(FileExists(run.SettingsPath()));
    EXPECT_FALSE(FileExists(run.File("Lumaret.log")));

    // Logged-out state of the status panel.
    HWND status = run.PanelControl(lumaret::kStatusButton);
    EXPECT_EQ("未登录", gui::Text(status));
    EXPECT_EQ("请输入帐号密码登录平台", gui::ButtonNote(status));
    EXPECT_TRUE(IsWindowEnabled(run.PanelControl(lumaret::kLogin)));
    EXPECT_FALSE(IsWindowEnabled(run.PanelControl(lumaret::kLogout)));
    EXPECT_TRUE(IsWindowEnabled(run.PanelControl(lumaret::kUserName)));
    EXPECT_EQ(0, gui::ListCount(run.List()));
    EXPECT_TRUE(gui::TreeItems(run.Tree()).empty());

    // No user name: the polling worker says so in the status bar.
    EXPECT_TRUE(WaitUntil([&] {
        const std::string text = run.StatusBarText();
        return text.size() > 20 && text.substr(20) == "用户名或密码为空";
    })) << run.StatusBarText();

    // Nothing selected: the segment publishes a count of 0.
    CSegmentSnapshot segment;
    EXPECT_TRUE(WaitUntil([&] { return segment.Read(); }));
    EXPECT_EQ(0, segment.count);

    DWORD code = 1;
    EXPECT_TRUE(run.Exit());
    EXPECT_TRUE(run.WaitForExit(1000, &code));
    EXPECT_EQ(0u, code);
}

TEST_F(Startup, SecondCopyBringsFirstToFront)
{
    CLumaretRun first("startup_first");
    first.PrepareForPlatform(platform.Port());
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(first.WaitForMainWindow());

    // Hidden in the notification area.
    PostMessageA(first.Main(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(first.Main()); }));

    HANDLE bridge = first.StartBridge();
    ASSERT_NE(nullptr, bridge);
    ASSERT_EQ(WAIT_TIMEOUT, WaitForSingleObject(bridge, 500));

    // The second copy, from the same directory, gives way.
    CLumaretRun second("startup_second");
    second.PrepareForPlatform(platform.Port());
    ASSERT_TRUE(second.Start());
    DWORD code = 1;
    ASSERT_TRUE(second.WaitForExit(30000, &code)) << "the second copy kept running";
    EXPECT_EQ(0u, code);
    // It showed the first copy's window again and left the running bridge
    // alone: its clients keep their server.
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(first.Main()) != FALSE; }));
    EXPECT_TRUE(first.IsRunning());
    EXPECT_EQ(1u, gui::TopLevelWindows(first.ProcessId(), kLumaretWindowClass).size());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(bridge, 0));
    TerminateProcess(bridge, 0);
    WaitForSingleObject(bridge, 10000);
    CloseHandle(bridge);
    EXPECT_TRUE(first.Exit());
}
