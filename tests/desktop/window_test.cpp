// window_test.cpp - the main window around the panels: hiding on close and
// the notification-area icon, the automatic login with remembered
// credentials, the settings menu (remember password, autorun, clearing the
// remembered password), the about box and the end of the program.
#include "desktop_test_env.h"
#include "manager.h"

namespace {

// A project file with a remembered login, as an earlier run leaves it.
bool WriteRememberedLogin(const std::string &path, const std::string &user, const std::string &password)
{
    CManager manager;
    manager.userName = user;
    manager.password = password;
    return manager.SaveTo(path);
}

std::string RememberedPassword(const std::string &path)
{
    CManager manager;
    if (!manager.LoadFrom(path))
        return "<unreadable>";
    return manager.password;
}

LRESULT SendTray(HWND window, WPARAM id, LPARAM mouse)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, lumaret::kTrayNotify, id, mouse, SMTO_NORMAL, 10000, &result);
    return static_cast<LRESULT>(result);
}

} // namespace

class MainWindow : public DesktopTest {};

TEST_F(MainWindow, TrayAutomaticLoginMenusAndExit)
{
    CLumaretRun run("main_window");
    run.PrepareForPlatform(platform.Port());
    ASSERT_TRUE(WriteRememberedLogin(run.ProjectFilePath(), "demo", "demo123"));
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForMainWindow());

    // The remembered login: the fields are filled and the polling worker logs in.
    EXPECT_EQ("demo", gui::Text(run.PanelControl(lumaret::kUserName)));
    EXPECT_EQ("demo123", gui::Text(run.PanelControl(lumaret::kPassword)));
    HWND statusButton = run.PanelControl(lumaret::kStatusButton);
    EXPECT_TRUE(WaitForText(statusButton, "已登录", 30000));
    EXPECT_TRUE(WaitUntil([&] { return gui::ButtonNote(statusButton) == "通讯正常"; }));
    EXPECT_FALSE(IsWindowEnabled(run.PanelControl(lumaret::kLogin)));

    // Close hides; the icon's double click and "显示程序" show again.
    PostMessageA(run.Main(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(run.Main()); }));
    EXPECT_TRUE(run.IsRunning());
    EXPECT_EQ(1, SendTray(run.Main(), 5, WM_LBUTTONDBLCLK)) << "another icon id is not ours";
    Sleep(300);
    EXPECT_FALSE(IsWindowVisible(run.Main()));
    EXPECT_EQ(0, SendTray(run.Main(), 128, WM_LBUTTONDBLCLK));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(run.Main()) != FALSE; }));
    PostMessageA(run.Main(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(run.Main()); }));
    run.Command(lumaret::kShowWindow);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(run.Main()) != FALSE; }));

    // The icon's menu opens at a right click; Esc closes it.
    PostMessageA(run.Main(), lumaret::kTrayNotify, 128, WM_RBUTTONUP);
    HWND menu = gui::WaitForTopLevel(run.ProcessId(), "#32768", nullptr, 10000);
    EXPECT_NE(nullptr, menu) << "no popup menu";
    if (menu != nullptr) {
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(WaitUntil([&] { return gui::TopLevelWindows(run.ProcessId(), "#32768").empty(); }, 10000));
    }

    // "记住密码(&R)": the setting follows each toggle.
    run.Command(lumaret::kRememberPassword);
    EXPECT_TRUE(WaitUntil([&] { return run.Setting("local", "RememberPassword") == "0"; }));
    run.Command(lumaret::kRememberPassword);
    EXPECT_TRUE(WaitUntil([&] { return run.Setting("local", "RememberPassword") == "1"; }));

    // "开机自启(&A)": the setting and the Run entry follow at once.
    EXPECT_EQ("<missing>", AutorunValue());
    run.Command(lumaret::kAutoRun);
    EXPECT_TRUE(WaitUntil([&] { return run.Setting("local", "RememberAutoRun") == "1"; }));
    EXPECT_TRUE(WaitUntil([&] { return AutorunValue() == run.File("Lumaret.exe"); }));
    run.Command(lumaret::kAutoRun);
    EXPECT_TRUE(WaitUntil([&] { return run.Setting("local", "RememberAutoRun") == "0"; }));
    EXPECT_TRUE(WaitUntil([&] { return AutorunValue() == "<missing>"; }));

    // "清空密码(&C)": No keeps the password, Yes clears it from the project file.
    run.Command(lumaret::kClearPassword);
    ExpectMessage(run, "是否清空所有已经记住的登录密码？", IDNO, "提示");
    EXPECT_EQ("demo123", RememberedPassword(run.ProjectFilePath()));
    run.Command(lumaret::kClearPassword);
    ExpectMessage(run, "是否清空所有已经记住的登录密码？", IDYES, "提示");
    ExpectMessage(run, "清除成功！", IDOK, "提示");
    EXPECT_EQ("", RememberedPassword(run.ProjectFilePath()));
    // The gateway itself stays logged in.
    EXPECT_EQ("已登录", gui::Text(statusButton));

    // The about box.
    run.Command(lumaret::kAbout);
    HWND about = gui::WaitForTopLevel(run.ProcessId(), "#32770", "关于", kDefaultWaitMs);
    ASSERT_NE(nullptr, about);
    PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }));

    // "退出程序" ends the program at once, without a question.
    run.Command(lumaret::kExitProgram);
    DWORD code = 1;
    EXPECT_TRUE(run.WaitForExit(20000, &code));
    EXPECT_EQ(0u, code);
}

TEST_F(MainWindow, PasswordNotRememberedStaysInMemoryOnly)
{
    CLumaretRun run("password_not_remembered");
    run.PrepareForPlatform(platform.Port());
    run.SetSetting("local", "RememberPassword", "0");
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForMainWindow());

    ASSERT_TRUE(gui::SetText(run.PanelControl(lumaret::kUserName), "demo"));
    ASSERT_TRUE(gui::SetText(run.PanelControl(lumaret::kPassword), "demo123"));
    gui::Click(run.PanelControl(lumaret::kLogin));
    HWND dialog = gui::WaitForTopLevel(run.ProcessId(), "#32770", "选择项目", 30000);
    ASSERT_NE(nullptr, dialog);
    HWND projects = GetDlgItem(dialog, lumaret::kProjectList);
    ASSERT_TRUE(WaitUntil([&] { return gui::ListCount(projects) == 3; }));
    ASSERT_TRUE(gui::SetListItemState(projects, 0, INDEXTOSTATEIMAGEMASK(2), LVIS_STATEIMAGEMASK));
    gui::Click(GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 30000));
    ASSERT_TRUE(WaitUntil([&] { return gui::ListCount(run.List()) == 18; }));
    EXPECT_EQ("", RememberedPassword(run.ProjectFilePath())) << "the password must not be stored";

    // Tick "temperature" through "全选" and submit: the values still come,
    // the password lives on in memory for this run.
    ASSERT_TRUE(platform.Control("{\"hold\": {\"D2001:V30009\": 7.25}}"));
    gui::Click(run.ToolbarControl(lumaret::kSelectAll));
    ASSERT_TRUE(WaitUntil([&] { return gui::IsChecked(run.ToolbarControl(lumaret::kSelectAll)); }));
    gui::Click(run.ToolbarControl(lumaret::kSubmit));
    ExpectMessage(run, "设置成功!");
    EXPECT_EQ("", RememberedPassword(run.ProjectFilePath()));
    EXPECT_TRUE(WaitUntil([&] { return gui::ListText(run.List(), 8, 4) == "7.25"; }, 30000))
        << gui::ListText(run.List(), 8, 4) << " / " << run.StatusBarText();
    EXPECT_TRUE(run.Exit());
}

TEST_F(MainWindow, AccountsNewestFirstAndPickingOneEmptiesPassword)
{
    CLumaretRun run("accounts_list");
    run.PrepareForPlatform(platform.Port());
    run.SetSetting("local", "accounts", " first ;second;;third;");
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForMainWindow());
    HWND userName = run.PanelControl(lumaret::kUserName);
    HWND password = run.PanelControl(lumaret::kPassword);
    EXPECT_EQ((std::vector<std::string>{"third", "second", "first"}), gui::ComboEntries(userName));

    ASSERT_TRUE(gui::SetText(password, "typed"));
    // The operator picks "second" from the list.
    DWORD_PTR result = 0;
    SendMessageTimeoutA(userName, CB_SETCURSEL, 1, 0, SMTO_NORMAL, 10000, &result);
    PostMessageA(run.StatePanel(), WM_COMMAND, MAKEWPARAM(lumaret::kUserName, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(userName));
    EXPECT_TRUE(WaitForText(password, ""));
    EXPECT_EQ("second", gui::Text(userName));
    EXPECT_TRUE(run.Exit());
}
