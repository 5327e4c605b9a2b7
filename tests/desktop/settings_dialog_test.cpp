// settings_dialog_test.cpp - the server settings dialog: prefilled from the
// settings file, its checks in their order (port range, empty host, blank,
// final slash, port, format), nothing written while one fails or on cancel,
// and host and port written on OK.
#include "desktop_test_env.h"

class SettingsDialog : public DesktopTest {
protected:
    HWND Open(const CLumaretRun &run)
    {
        run.Command(lumaret::kServerSettings);
        return gui::WaitForTopLevel(run.ProcessId(), "#32770", "高级设置", kDefaultWaitMs);
    }

    // Fills both fields, presses OK and expects the refusal; the dialog stays.
    void ExpectRefused(const CLumaretRun &run, HWND dialog, const std::string &host, const std::string &port,
                       const std::string &message)
    {
        ASSERT_TRUE(gui::SetText(GetDlgItem(dialog, lumaret::kHost), host));
        ASSERT_TRUE(gui::SetText(GetDlgItem(dialog, lumaret::kPort), port));
        gui::Click(GetDlgItem(dialog, IDOK));
        ExpectMessage(run, message);
        EXPECT_TRUE(IsWindow(dialog) && IsWindowVisible(dialog)) << "the dialog must stay open";
    }
};

TEST_F(SettingsDialog, ChecksInOrderAndWrites)
{
    CLumaretRun run("settings_dialog");
    run.PrepareForPlatform(platform.Port());
    const std::string port = std::to_string(platform.Port());
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForMainWindow());

    HWND dialog = Open(run);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("127.0.0.1", gui::Text(GetDlgItem(dialog, lumaret::kHost)));
    EXPECT_EQ(port, gui::Text(GetDlgItem(dialog, lumaret::kPort)));
    Screenshot(dialog, "settings_dialog");

    // The port's range comes first, even with an empty host.
    ExpectRefused(run, dialog, "", "0", "请输入介于 1 和 65535 之间的整数。");
    ExpectRefused(run, dialog, "example.com", "65536", "请输入介于 1 和 65535 之间的整数。");
    ExpectRefused(run, dialog, "example.com", "80x", "请输入整数。");
    // Then the host, one check at a time.
    ExpectRefused(run, dialog, "", "8080", "请输入服务器域名或IP!");
    ExpectRefused(run, dialog, "a b:1", "8080", "服务器域名或IP中不能带有空格!");
    ExpectRefused(run, dialog, "example.com/api/", "8080", "服务器域名末尾不要添加斜杠!");
    ExpectRefused(run, dialog, "10.0.0.1:", "8080", "服务器域名格式错误, 不要带端口!");
    ExpectRefused(run, dialog, "10.0.0.1:0", "8080", "服务器域名中的端口无效, 端口应在1到65535之间!");
    ExpectRefused(run, dialog, "example.com/a#b", "8080", "服务器域名格式错误!");
    EXPECT_EQ("127.0.0.1", run.Setting("server", "host"));
    EXPECT_EQ(port, run.Setting("server", "port"));

    // A path inside the host is accepted: it goes after the port.
    ASSERT_TRUE(gui::SetText(GetDlgItem(dialog, lumaret::kHost), "example.com/api"));
    ASSERT_TRUE(gui::SetText(GetDlgItem(dialog, lumaret::kPort), "65535"));
    gui::Click(GetDlgItem(dialog, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    EXPECT_FALSE(gui::AnyMessageBox(run.ProcessId()));
    EXPECT_EQ("example.com/api", run.Setting("server", "host"));
    EXPECT_EQ("65535", run.Setting("server", "port"));

    // Cancel writes nothing.
    dialog = Open(run);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("example.com/api", gui::Text(GetDlgItem(dialog, lumaret::kHost)));
    EXPECT_EQ("65535", gui::Text(GetDlgItem(dialog, lumaret::kPort)));
    ASSERT_TRUE(gui::SetText(GetDlgItem(dialog, lumaret::kHost), "other.example"));
    gui::Click(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    EXPECT_EQ("example.com/api", run.Setting("server", "host"));

    // The running program keeps the address it started with: its polling
    // still reaches the stand-in (no user name yet, so it says so).
    EXPECT_TRUE(run.Exit());
}
