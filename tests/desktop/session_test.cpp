// session_test.cpp - a whole working session against the stand-in platform:
// a refused and a good login, the project selection, the device tree, ticks
// and submit (project file, segment, bridge ended, live values), search,
// select all, group names set, refused and cleared, and the logout. The
// login and the project requests in the background with the window still
// answering, and what each kind of login failure says.
// Screenshots of the main window logged out and logged in with values and
// of the project selection dialog; Chinese text must render as glyphs.
#include "desktop_test_env.h"
#include "manager.h"
#include "screen_capture.h"
#include "segment_snapshot.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace {

// What the project file holds.
struct ProjectFileContent {
    bool loaded = false;
    std::string userName;
    std::string password;
    std::vector<std::string> projectIds;
    std::vector<std::string> selectedKeys;
};

ProjectFileContent ReadProjectFile(const std::string &path)
{
    ProjectFileContent content;
    CManager manager;
    content.loaded = manager.LoadFrom(path);
    content.userName = manager.userName;
    content.password = manager.password;
    for (const CProject *project : manager.projects) {
        content.projectIds.push_back(project->projectId);
        for (const CDevice *device : project->devices)
            for (const CVariant *variant : device->variants)
                if (variant->selected)
                    content.selectedKeys.push_back(variant->key);
    }
    return content;
}

// Item ID of every published record, by key.
std::map<std::string, std::string> PublishedItems(CSegmentSnapshot &segment)
{
    std::map<std::string, std::string> items;
    if (!segment.Read())
        return items;
    for (const CVariant &record : segment.records)
        items[record.key] = record.itemId;
    return items;
}

int RowOf(HWND list, const std::string &name)
{
    const std::vector<std::string> names = gui::ListColumn(list, 1);
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

const gui::TreeItem *FindTreeItem(const std::vector<gui::TreeItem> &items, const std::string &text)
{
    for (const gui::TreeItem &item : items)
        if (item.text == text)
            return &item;
    return nullptr;
}

HWND FindChildWithText(HWND parent, const std::string &text)
{
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        if (gui::Text(child) == text)
            return child;
    return nullptr;
}

// The check square of a row on the screen, as the list draws it.
RECT CheckSquareOnScreen(HWND list, int row)
{
    RECT bounds = gui::ListItemRect(list, row);
    const int height = bounds.bottom - bounds.top;
    RECT square = {bounds.left + 4, bounds.top + 4, bounds.left + height - 4, bounds.bottom - 4};
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT *>(&square), 2);
    return square;
}

// A tick is drawn in the row's square (the tick pen's colour is there).
bool RowTicked(HWND list, int row)
{
    const RECT square = CheckSquareOnScreen(list, row);
    const ScreenPixels pixels = CaptureScreen(square);
    const RECT all = {0, 0, pixels.width, pixels.height};
    return ColourShare(pixels, all, RGB(100, 100, 100)) > 0.01;
}

void ClickCheckSquare(HWND list, int row)
{
    const RECT bounds = gui::ListItemRect(list, row);
    const int height = bounds.bottom - bounds.top;
    gui::ClickAt(list, bounds.left + height / 2, (bounds.top + bounds.bottom) / 2);
}

std::string StatusMessage(const CLumaretRun &run)
{
    const std::string text = run.StatusBarText();
    return text.size() > 20 ? text.substr(20) : std::string();
}

} // namespace

class Session : public DesktopTest {
protected:
    void BringToFront(const CLumaretRun &run)
    {
        SetWindowPos(run.Main(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        SetForegroundWindow(run.Main());
        Sleep(500);
    }

    // Checks that the label's Chinese characters were drawn as glyphs.
    void ExpectGlyphs(HWND panel, const std::string &label, int characters)
    {
        HWND control = FindChildWithText(panel, label);
        ASSERT_NE(nullptr, control) << label;
        RECT bounds;
        GetWindowRect(control, &bounds);
        const ScreenPixels pixels = CaptureScreen(bounds);
        EXPECT_GE(DistinctInkShapes(pixels), characters)
            << "the characters of \"" << label << "\" are not drawn as distinct glyphs";
    }

    // Share of the status button's face colour on the screen.
    double StatusButtonFace(const CLumaretRun &run, COLORREF colour)
    {
        const ScreenPixels pixels = CaptureWindow(run.PanelControl(lumaret::kStatusButton));
        const RECT all = {0, 0, pixels.width, pixels.height};
        return ColourShare(pixels, all, colour);
    }

    // Submits and expects the confirmation.
    void Submit(const CLumaretRun &run, int button)
    {
        gui::Click(run.ToolbarControl(button));
        ExpectMessage(run, "设置成功!");
    }
};

TEST_F(Session, LoginSelectSubmitGroupAndLogout)
{
    CLumaretRun run("session");
    run.PrepareForPlatform(platform.Port());
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForMainWindow());
    BringToFront(run);

    HWND statusButton = run.PanelControl(lumaret::kStatusButton);
    HWND userName = run.PanelControl(lumaret::kUserName);
    HWND password = run.PanelControl(lumaret::kPassword);
    HWND list = run.List();
    HWND tree = run.Tree();

    // ---- logged out: picture, glyphs, face colour --------------------------
    EXPECT_EQ("未登录", gui::Text(statusButton));
    ExpectGlyphs(run.StatePanel(), "用户名", 3);
    ExpectGlyphs(run.Toolbar(), "变量分组", 4);
    EXPECT_GT(StatusButtonFace(run, RGB(193, 193, 193)), 0.3);
    Screenshot(run.Main(), "main_logged_out");

    // ---- a refused login ----------------------------------------------------
    ASSERT_TRUE(gui::SetText(userName, "demo"));
    ASSERT_TRUE(gui::SetText(password, "wrong"));
    gui::Click(run.PanelControl(lumaret::kLogin));
    ExpectMessage(run, "账号或密码错误！");
    EXPECT_EQ("未登录", gui::Text(statusButton));
    const Json::Value logins = platform.Requests("login");
    ASSERT_EQ(1u, logins.size());
    EXPECT_EQ("demo", logins[0]["fields"]["account"].asString());
    EXPECT_EQ("wrong", logins[0]["fields"]["password"].asString());

    // ---- empty password -----------------------------------------------------
    ASSERT_TRUE(gui::SetText(password, ""));
    gui::Click(run.PanelControl(lumaret::kLogin));
    ExpectMessage(run, "用户名或密码不能为空!");

    // ---- the good login and the project selection ---------------------------
    ASSERT_TRUE(gui::SetText(password, "demo123"));
    gui::Click(run.PanelControl(lumaret::kLogin));
    HWND dialog = gui::WaitForTopLevel(run.ProcessId(), "#32770", "选择项目", 30000);
    ASSERT_NE(nullptr, dialog) << "no project selection after the login";
    HWND projects = GetDlgItem(dialog, lumaret::kProjectList);
    ASSERT_TRUE(WaitUntil([&] { return gui::ListCount(projects) == 3; }));
    EXPECT_EQ((std::vector<std::string>{"P1001", "P1002", "P1003"}), gui::ListColumn(projects, 0));
    EXPECT_EQ((std::vector<std::string>{"Demo Plant", "一号泵站", "空项目"}), gui::ListColumn(projects, 1));
    EXPECT_EQ((std::vector<std::string>{"2", "4", "0"}), gui::ListColumn(projects, 2));
    for (int row = 0; row < 3; ++row)
        EXPECT_FALSE(gui::ListChecked(projects, row));
    // The platform accepted: the panel shows it.
    EXPECT_TRUE(WaitForText(statusButton, "已登录"));
    EXPECT_EQ("通讯正常", gui::ButtonNote(statusButton));
    Screenshot(dialog, "project_selection");

    gui::Click(GetDlgItem(dialog, IDOK));
    ExpectMessage(run, "没有选择任何项目!");
    ASSERT_TRUE(IsWindow(dialog));

    HWND selectAllProjects = GetDlgItem(dialog, lumaret::kSelectAllProjects);
    gui::Click(selectAllProjects);
    EXPECT_TRUE(WaitUntil([&] { return gui::ListChecked(projects, 0) && gui::ListChecked(projects, 2); }));
    gui::Click(selectAllProjects);
    EXPECT_TRUE(WaitUntil([&] { return !gui::ListChecked(projects, 0) && !gui::ListChecked(projects, 2); }));
    gui::Click(selectAllProjects);
    EXPECT_TRUE(WaitUntil([&] { return gui::ListChecked(projects, 1); }));
    ASSERT_TRUE(gui::SetListItemState(projects, 2, INDEXTOSTATEIMAGEMASK(1), LVIS_STATEIMAGEMASK));
    gui::Click(GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 30000)) << "the project selection stayed open";

    // ---- the tree, the list, the accounts and the project file ---------------
    std::vector<gui::TreeItem> items;
    ASSERT_TRUE(WaitUntil([&] {
        items = gui::TreeItems(tree);
        return items.size() == 8;
    })) << items.size();
    const std::vector<std::string> expectedTree = {"Demo Plant", "PLC-1 (18)", "Meter 2 (3)", "一号泵站",
                                                   "进水泵 (6)", "出水阀门 (2)", "备用泵 (2)", "汇总 (2)"};
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(expectedTree[i], items[i].text);
        EXPECT_EQ(items[i].depth == 0 ? 0 : 1, items[i].image) << items[i].text;
    }
    ASSERT_TRUE(WaitUntil([&] { return gui::ListCount(list) == 18; }));
    EXPECT_EQ("running", gui::ListText(list, 0, 1));
    EXPECT_EQ("bool", gui::ListText(list, 0, 2));
    EXPECT_EQ("1", gui::ListText(list, 0, 0));
    EXPECT_EQ("18", gui::ListText(list, 17, 0));
    EXPECT_EQ("bad", gui::ListText(list, 0, 3));
    EXPECT_EQ("Demo Plant.PLC-1", gui::Text(run.ToolbarControl(lumaret::kGroupName)));
    EXPECT_FALSE(gui::IsChecked(run.ToolbarControl(lumaret::kSelectAll)));

    EXPECT_EQ("demo;", run.Setting("local", "accounts"));
    EXPECT_EQ((std::vector<std::string>{"demo"}), gui::ComboEntries(userName));
    EXPECT_FALSE(IsWindowEnabled(run.PanelControl(lumaret::kLogin)));
    EXPECT_TRUE(IsWindowEnabled(run.PanelControl(lumaret::kLogout)));
    EXPECT_FALSE(IsWindowEnabled(userName));
    EXPECT_NE(0, GetWindowLongA(password, GWL_STYLE) & ES_READONLY);

    ProjectFileContent file = ReadProjectFile(run.ProjectFilePath());
    EXPECT_TRUE(file.loaded);
    EXPECT_EQ("demo", file.userName);
    EXPECT_EQ("demo123", file.password);
    EXPECT_EQ((std::vector<std::string>{"P1001", "P1002"}), file.projectIds);
    EXPECT_TRUE(file.selectedKeys.empty());

    // ---- ticks and submit ----------------------------------------------------
    ASSERT_TRUE(platform.Control("{\"hold\": {\"D2001:V30009\": 12.5}}"));
    const int temperature = RowOf(list, "temperature");
    const int setpoint = RowOf(list, "setpoint");
    ASSERT_EQ(8, temperature);
    ASSERT_EQ(14, setpoint);
    BringToFront(run);
    ClickCheckSquare(list, temperature);
    ClickCheckSquare(list, setpoint);
    EXPECT_TRUE(WaitUntil([&] { return RowTicked(list, temperature) && RowTicked(list, setpoint); }, 5000))
        << "ticks not drawn";
    EXPECT_FALSE(RowTicked(list, 0));
    // A click beside the square selects the row and ticks nothing.
    const RECT firstRow = gui::ListItemRect(list, 0);
    gui::ClickAt(list, firstRow.left + 200, (firstRow.top + firstRow.bottom) / 2);
    Sleep(500);
    EXPECT_FALSE(RowTicked(list, 0));

    HANDLE bridge = run.StartBridge();
    ASSERT_NE(nullptr, bridge);
    Submit(run, lumaret::kSubmit);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(bridge, 10000)) << "submit must end the bridge program";
    CloseHandle(bridge);

    CSegmentSnapshot segment;
    const std::map<std::string, std::string> published = {
        {"D2001:V30009", "Demo Plant.PLC-1.temperature"}, {"D2001:V30015", "Demo Plant.PLC-1.setpoint"}};
    EXPECT_TRUE(WaitUntil([&] { return PublishedItems(segment) == published; }));
    file = ReadProjectFile(run.ProjectFilePath());
    EXPECT_EQ((std::vector<std::string>{"D2001:V30009", "D2001:V30015"}), file.selectedKeys);
    items = gui::TreeItems(tree);
    EXPECT_EQ(2, FindTreeItem(items, "PLC-1 (18)")->image);
    EXPECT_EQ(1, FindTreeItem(items, "Meter 2 (3)")->image);

    // Values arrive within seconds, in the list and in the segment.
    EXPECT_TRUE(WaitUntil([&] {
        return gui::ListText(list, temperature, 3) == "good" && gui::ListText(list, temperature, 4) == "12.5";
    }, 30000)) << gui::ListText(list, temperature, 3) << " " << gui::ListText(list, temperature, 4);
    EXPECT_TRUE(WaitUntil([&] { return gui::ListText(list, setpoint, 3) == "good"; }, 10000));
    EXPECT_EQ("bad", gui::ListText(list, 0, 3)) << "an unpublished variable has no value";
    EXPECT_TRUE(WaitUntil([&] {
        if (!segment.Read())
            return false;
        for (const CVariant &record : segment.records)
            if (record.key == "D2001:V30009")
                return record.valid && record.value == "12.5";
        return false;
    }));
    EXPECT_EQ("已登录", gui::Text(statusButton));
    BringToFront(run);
    EXPECT_GT(StatusButtonFace(run, RGB(90, 216, 120)), 0.3);
    Screenshot(run.Main(), "main_logged_in_values");

    // ---- search -------------------------------------------------------------
    HWND search = run.ToolbarControl(lumaret::kSearch);
    ASSERT_TRUE(gui::SetText(search, "temp"));
    EXPECT_TRUE(WaitUntil([&] { return gui::ListCount(list) == 1; }));
    EXPECT_EQ("temperature", gui::ListText(list, 0, 1));
    EXPECT_EQ("1", gui::ListText(list, 0, 0));
    ASSERT_TRUE(gui::SetText(search, "Temp"));
    EXPECT_TRUE(WaitUntil([&] { return gui::ListCount(list) == 0; })) << "the search is case-sensitive";
    ASSERT_TRUE(gui::SetText(search, "_i"));
    EXPECT_TRUE(WaitUntil([&] { return gui::ListCount(list) == 4; }));
    EXPECT_EQ((std::vector<std::string>{"level_i8", "offset_i16", "events_i32", "spare_input"}),
              gui::ListColumn(list, 1));
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3", "4"}), gui::ListColumn(list, 0));
    ASSERT_TRUE(gui::SetText(search, ""));
    EXPECT_TRUE(WaitUntil([&] { return gui::ListCount(list) == 18; }));

    // ---- select all ---------------------------------------------------------
    HWND selectAll = run.ToolbarControl(lumaret::kSelectAll);
    gui::Click(selectAll);
    EXPECT_TRUE(WaitUntil([&] { return gui::IsChecked(selectAll); }));
    BringToFront(run);
    EXPECT_TRUE(WaitUntil([&] { return RowTicked(list, 0) && RowTicked(list, 17); }, 5000));
    Submit(run, lumaret::kSubmit);
    EXPECT_TRUE(WaitUntil([&] { return PublishedItems(segment).size() == 18; }));
    // Untick all, tick two again.
    gui::Click(selectAll);
    EXPECT_TRUE(WaitUntil([&] { return !gui::IsChecked(selectAll); }));
    BringToFront(run);
    ClickCheckSquare(list, temperature);
    ClickCheckSquare(list, setpoint);
    EXPECT_TRUE(WaitUntil([&] { return RowTicked(list, setpoint); }, 5000));
    EXPECT_FALSE(gui::IsChecked(selectAll));
    Submit(run, lumaret::kSubmit);
    EXPECT_TRUE(WaitUntil([&] { return PublishedItems(segment) == published; }));

    // ---- group names ----------------------------------------------------------
    HWND groupName = run.ToolbarControl(lumaret::kGroupName);
    ASSERT_TRUE(gui::SetText(groupName, "Line1"));
    Submit(run, lumaret::kSetGroup);
    const std::map<std::string, std::string> grouped = {{"D2001:V30009", "Line1.temperature"},
                                                        {"D2001:V30015", "Line1.setpoint"}};
    EXPECT_TRUE(WaitUntil([&] { return PublishedItems(segment) == grouped; }));

    // Another device may not take the same group name.
    items = gui::TreeItems(tree);
    ASSERT_TRUE(gui::SelectTreeItem(tree, FindTreeItem(items, "Meter 2 (3)")->handle));
    EXPECT_TRUE(WaitUntil([&] { return gui::ListCount(list) == 3; }));
    EXPECT_EQ("Demo Plant.Meter 2", gui::Text(groupName));
    ASSERT_TRUE(gui::SetText(groupName, "Line1"));
    gui::Click(run.ToolbarControl(lumaret::kSetGroup));
    ExpectMessage(run, "组名不能重复！");
    ASSERT_TRUE(gui::SetText(groupName, "   "));
    gui::Click(run.ToolbarControl(lumaret::kSetGroup));
    ExpectMessage(run, "请输入分组名称！");
    // Choosing a project in the tree leaves the list as it is.
    ASSERT_TRUE(gui::SelectTreeItem(tree, FindTreeItem(items, "Demo Plant")->handle));
    Sleep(500);
    EXPECT_EQ(3, gui::ListCount(list));

    // The device's own name again is accepted.
    ASSERT_TRUE(gui::SelectTreeItem(tree, FindTreeItem(items, "PLC-1 (18)")->handle));
    EXPECT_TRUE(WaitUntil([&] { return gui::ListCount(list) == 18; }));
    EXPECT_EQ("Line1", gui::Text(groupName));
    Submit(run, lumaret::kSetGroup);
    EXPECT_TRUE(WaitUntil([&] { return PublishedItems(segment) == grouped; }));

    // Clearing the group: asked first; No changes nothing.
    gui::Click(run.ToolbarControl(lumaret::kClearGroup));
    ExpectMessage(run, "如果选中的多个设备存在相同的变量名称，取消分组可能导致变量名冲突，是否继续？", IDNO, "提示");
    Sleep(500);
    EXPECT_EQ("Line1", gui::Text(groupName));
    EXPECT_EQ(grouped, PublishedItems(segment));
    gui::Click(run.ToolbarControl(lumaret::kClearGroup));
    ExpectMessage(run, "如果选中的多个设备存在相同的变量名称，取消分组可能导致变量名冲突，是否继续？", IDYES, "提示");
    ExpectMessage(run, "设置成功!");
    EXPECT_EQ("", gui::Text(groupName));
    const std::map<std::string, std::string> ungrouped = {{"D2001:V30009", "temperature"},
                                                          {"D2001:V30015", "setpoint"}};
    EXPECT_TRUE(WaitUntil([&] { return PublishedItems(segment) == ungrouped; }));

    // ---- logout ---------------------------------------------------------------
    gui::Click(run.PanelControl(lumaret::kLogout));
    ExpectMessage(run, "确定注销吗?", IDNO, "提示");
    gui::Click(run.PanelControl(lumaret::kLogout));
    ExpectMessage(run, "确定注销吗?", IDCANCEL, "提示");
    Sleep(500);
    EXPECT_EQ(8u, gui::TreeItems(tree).size());
    EXPECT_EQ("已登录", gui::Text(statusButton));
    EXPECT_EQ(ungrouped, PublishedItems(segment));

    gui::Click(run.PanelControl(lumaret::kLogout));
    ExpectMessage(run, "确定注销吗?", IDYES, "提示");
    EXPECT_TRUE(WaitUntil([&] { return gui::TreeItems(tree).empty() && gui::ListCount(list) == 0; }));
    EXPECT_TRUE(WaitForText(statusButton, "未登录"));
    EXPECT_EQ("请输入帐号密码登录平台", gui::ButtonNote(statusButton));
    EXPECT_TRUE(IsWindowEnabled(run.PanelControl(lumaret::kLogin)));
    EXPECT_FALSE(IsWindowEnabled(run.PanelControl(lumaret::kLogout)));
    EXPECT_TRUE(WaitUntil([&] { return StatusMessage(run) == "操作已被停止"; })) << run.StatusBarText();
    EXPECT_TRUE(WaitUntil([&] { return segment.Read() && segment.count == 0; }));
    // The project file keeps the projects and the selection.
    file = ReadProjectFile(run.ProjectFilePath());
    EXPECT_EQ("demo", file.userName);
    EXPECT_EQ("demo123", file.password);
    EXPECT_EQ((std::vector<std::string>{"P1001", "P1002"}), file.projectIds);
    EXPECT_EQ((std::vector<std::string>{"D2001:V30009", "D2001:V30015"}), file.selectedKeys);
    // Without a device shown the toolbar commands do nothing.
    gui::Click(run.ToolbarControl(lumaret::kSubmit));
    Sleep(1000);
    EXPECT_FALSE(gui::AnyMessageBox(run.ProcessId()));

    EXPECT_TRUE(run.Exit());
}

TEST_F(Session, ProjectSelectionFailuresAndCancel)
{
    CLumaretRun run("session_failures");
    run.PrepareForPlatform(platform.Port());
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForMainWindow());
    HWND statusButton = run.PanelControl(lumaret::kStatusButton);
    const auto login = [&] {
        ASSERT_TRUE(gui::SetText(run.PanelControl(lumaret::kUserName), "demo"));
        ASSERT_TRUE(gui::SetText(run.PanelControl(lumaret::kPassword), "demo123"));
        gui::Click(run.PanelControl(lumaret::kLogin));
    };
    const auto logout = [&] {
        gui::Click(run.PanelControl(lumaret::kLogout));
        ExpectMessage(run, "确定注销吗?", IDYES, "提示");
        ASSERT_TRUE(WaitForText(statusButton, "未登录"));
    };

    // The project list is refused: the platform's message, no dialog, the
    // login stands and the gateway stays stopped.
    ASSERT_TRUE(platform.Control(
        "{\"canned\": {\"reqCode\": \"queryDeviceTree\", \"body\": "
        "\"{\\\"success\\\":false,\\\"msg\\\":\\\"\\u4f1a\\u8bdd\\u5df2\\u5931\\u6548\\uff0c\\u8bf7\\u91cd\\u65b0"
        "\\u767b\\u5f55\\\"}\"}}"));
    login();
    ExpectMessage(run, "会话已失效，请重新登录");
    EXPECT_TRUE(WaitUntil([&] { return gui::TopLevelWindows(run.ProcessId(), "#32770", "选择项目").empty(); }));
    EXPECT_TRUE(WaitForText(statusButton, "已登录"));
    EXPECT_TRUE(gui::TreeItems(run.Tree()).empty());
    EXPECT_EQ(0, gui::ListCount(run.List()));
    EXPECT_TRUE(WaitUntil([&] { return StatusMessage(run) == "操作已被停止"; })) << run.StatusBarText();

    // The variables cannot be loaded: the dialog says why and stays open;
    // the next OK loads them.
    logout();
    ASSERT_TRUE(platform.Control("{\"non_json\": {\"reqCodes\": [\"queryVariantTree\"], \"count\": 1}}"));
    login();
    HWND dialog = gui::WaitForTopLevel(run.ProcessId(), "#32770", "选择项目", 30000);
    ASSERT_NE(nullptr, dialog);
    HWND projects = GetDlgItem(dialog, lumaret::kProjectList);
    ASSERT_TRUE(WaitUntil([&] { return gui::ListCount(projects) == 3; }));
    ASSERT_TRUE(gui::SetListItemState(projects, 0, INDEXTOSTATEIMAGEMASK(2), LVIS_STATEIMAGEMASK));
    gui::Click(GetDlgItem(dialog, IDOK));
    ExpectMessage(run, "解析数据异常");
    EXPECT_TRUE(IsWindow(dialog) && IsWindowVisible(dialog));
    gui::Click(GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 30000));
    EXPECT_TRUE(WaitUntil([&] { return gui::TreeItems(run.Tree()).size() == 3; }));

    // Cancelled: list and tree empty, still logged in, the gateway stopped.
    logout();
    login();
    dialog = gui::WaitForTopLevel(run.ProcessId(), "#32770", "选择项目", 30000);
    ASSERT_NE(nullptr, dialog);
    gui::Click(GetDlgItem(dialog, IDCANCEL));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    EXPECT_TRUE(gui::TreeItems(run.Tree()).empty());
    EXPECT_EQ(0, gui::ListCount(run.List()));
    EXPECT_EQ("已登录", gui::Text(statusButton));
    EXPECT_TRUE(WaitUntil([&] { return StatusMessage(run) == "操作已被停止"; })) << run.StatusBarText();
    EXPECT_TRUE(run.Exit());
}

namespace {

const char kDelimiterAccount[] = "王工";
const char kDelimiterPassword[] = "a&b+c%d=e f密码";

} // namespace

TEST_F(Session, LoginRunsInTheBackgroundAndEachFailureSaysWhatHappened)
{
    CLumaretRun run("session_background");
    run.PrepareForPlatform(platform.Port());
    // Longer than the delay the good login gets below, shorter than the one
    // that is to run out.
    run.SetSetting("server", "Timeout", "15");
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForMainWindow());
    HWND statusButton = run.PanelControl(lumaret::kStatusButton);
    HWND loginButton = run.PanelControl(lumaret::kLogin);
    const auto login = [&](const char *user, const char *password) {
        ASSERT_TRUE(gui::SetText(run.PanelControl(lumaret::kUserName), user));
        ASSERT_TRUE(gui::SetText(run.PanelControl(lumaret::kPassword), password));
        gui::Click(loginButton);
    };

    // ---- each kind of failure ------------------------------------------------
    login("demo", "wrong");
    ExpectMessage(run, "账号或密码错误！");
    ASSERT_TRUE(platform.Control("{\"refuse\": {\"mode\": \"listen\", \"for\": 60}}"));
    login("demo", "demo123");
    ExpectMessageWithNumber(run, "网络请求失败，code=7, sec=");
    ASSERT_TRUE(platform.Control("{\"refuse\": \"off\"}"));
    ASSERT_TRUE(platform.Control("{\"http500\": {\"reqCodes\": [\"login\"], \"count\": 1}}"));
    login("demo", "demo123");
    ExpectMessageWithNumber(run, "服务器响应错误，http=500, sec=");
    // Accepted, but in a form the login cannot take: no wrong password.
    ASSERT_TRUE(platform.Canned("login", "{\"success\":true,\"sessionid\":[1]}"));
    login("demo", "demo123");
    ExpectMessage(run, "解析数据异常");
    ASSERT_TRUE(platform.Control("{\"delay\": {\"seconds\": 40, \"reqCodes\": [\"login\"], \"count\": 1}}"));
    login("demo", "demo123");
    ExpectMessageWithNumber(run, "网络请求超时，code=28, sec=", 60000);
    EXPECT_EQ("未登录", gui::Text(statusButton));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(loginButton) != FALSE; }));
    EXPECT_EQ("请输入帐号密码登录平台", gui::ButtonNote(statusButton));

    // ---- a slow login: the window answers, one request only --------------------
    ASSERT_TRUE(platform.ClearRequests());
    ASSERT_TRUE(platform.Control("{\"delay\": {\"seconds\": 10, \"reqCodes\": [\"login\", \"queryDeviceTree\"], "
                                 "\"count\": 2}}"));
    login(kDelimiterAccount, kDelimiterPassword);
    ASSERT_TRUE(WaitUntil([&] { return gui::ButtonNote(statusButton) == "正在登录云平台"; }, 5000));
    EXPECT_FALSE(IsWindowEnabled(loginButton));
    gui::Click(loginButton);
    int answeredWhilePending = 0;
    while (gui::ButtonNote(statusButton) == "正在登录云平台") {
        EXPECT_TRUE(Answers(run.Main()));
        EXPECT_TRUE(Answers(run.StatePanel()));
        ++answeredWhilePending;
        Sleep(500);
    }
    EXPECT_GE(answeredWhilePending, 4);

    // The project selection asks in the background too.
    HWND dialog = gui::WaitForTopLevel(run.ProcessId(), "#32770", "选择项目", 30000);
    ASSERT_NE(nullptr, dialog);
    HWND projects = GetDlgItem(dialog, lumaret::kProjectList);
    HWND progress = GetDlgItem(dialog, lumaret::kProjectProgress);
    EXPECT_TRUE(IsWindowVisible(progress));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    EXPECT_TRUE(Answers(dialog));
    EXPECT_TRUE(Answers(run.Main()));
    ASSERT_TRUE(WaitUntil([&] { return gui::ListCount(projects) == 1; }, 30000));
    EXPECT_EQ("P1001", gui::ListText(projects, 0, 0));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(progress) && IsWindowEnabled(GetDlgItem(dialog, IDOK)); }));
    EXPECT_TRUE(WaitForText(statusButton, "已登录"));

    // The delimiters and the Chinese characters of the password arrived as typed.
    const Json::Value logins = platform.Requests("login");
    ASSERT_EQ(1u, logins.size()) << "the second click must not send a second login";
    EXPECT_EQ(u8"王工", logins[0]["fields"]["account"].asString());
    EXPECT_EQ(u8"a&b+c%d=e f密码", logins[0]["fields"]["password"].asString());

    // A cancel while the variables load gives the request up at once.
    ASSERT_TRUE(platform.Control("{\"delay\": {\"seconds\": 60, \"reqCodes\": [\"queryVariantTree\"], \"count\": 1}}"));
    ASSERT_TRUE(gui::SetListItemState(projects, 0, INDEXTOSTATEIMAGEMASK(2), LVIS_STATEIMAGEMASK));
    gui::Click(GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(progress) != FALSE; }));
    gui::Click(GetDlgItem(dialog, IDOK));
    const ULONGLONG cancelled = GetTickCount64();
    gui::Click(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 30000));
    std::printf("[ BENCH    ] dialog closed %llu ms after the cancel of a pending request\n",
                static_cast<unsigned long long>(GetTickCount64() - cancelled));
    EXPECT_TRUE(gui::TreeItems(run.Tree()).empty());
    EXPECT_EQ("已登录", gui::Text(statusButton));
    EXPECT_TRUE(Answers(run.Main()));
    // The operator's own act is no failure: whatever the status bar shows
    // meanwhile, it is no network failure.
    for (const ULONGLONG until = GetTickCount64() + 2000; GetTickCount64() < until; Sleep(20))
        ASSERT_EQ(std::string::npos, StatusMessage(run).find("网络请求失败")) << run.StatusBarText();
    EXPECT_TRUE(run.Exit());
}

TEST_F(Session, CertificateFailureHasItsOwnTextAndLogNamesTheSettings)
{
    CStandinPlatform secure("https");
    ASSERT_TRUE(secure.IsReady()) << secure.Problem();
    CLumaretRun run("session_certificate");
    run.PrepareForPlatform(secure.Port());
    run.SetSetting("server", "host", secure.HostSetting());
    run.SetSetting("server", "CaFile", secure.OtherCaFile());
    run.SetSetting("local", "LogEnabled", "1");
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForMainWindow());
    ASSERT_TRUE(gui::SetText(run.PanelControl(lumaret::kUserName), "demo"));
    ASSERT_TRUE(gui::SetText(run.PanelControl(lumaret::kPassword), "demo123"));
    gui::Click(run.PanelControl(lumaret::kLogin));
    ExpectMessageWithNumber(run, "证书验证失败，code=60, sec=");
    EXPECT_EQ("未登录", gui::Text(run.PanelControl(lumaret::kStatusButton)));
    const std::string log = ReadFileBytes(run.File("Lumaret.log"));
    EXPECT_NE(std::string::npos, log.find("request failed: TLS error, libcurl code 60 (")) << log;
    EXPECT_NE(std::string::npos, log.find("CaFile=\"" + secure.OtherCaFile() + "\" TlsVerify=1")) << log;
    EXPECT_EQ(std::string::npos, log.find("demo123")) << log;
    EXPECT_TRUE(run.Exit());
}
