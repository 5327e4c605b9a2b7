// main_frame.cpp - the main window: creation, layout, menu commands, the
// notification-area icon, status texts and hiding instead of closing.
#include "main_frame.h"

#include "about_dialog.h"
#include "autorun.h"
#include "busy_cursor.h"
#include "console_output.h"
#include "manager.h"
#include "message_box.h"
#include "opc_registration.h"
#include "query_thread.h"
#include "resource_ids.h"
#include "setting_dialog.h"
#include "settings.h"
#include "state_dialog.h"
#include "status_notifications.h"
#include "tray_icon.h"
#include "ui_messages.h"

#include <algorithm>
#include <thread>

const char kMainWindowClassName[] = "QuenlorLumaretCls";

namespace {

CMainFrame *g_mainFrame = nullptr;

const int kInitialWidth = 1120;
const int kInitialHeight = 680;

std::string LoadText(UINT id)
{
    char text[256] = "";
    LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof(text));
    return text;
}

bool IsEditControl(HWND window)
{
    char name[32] = "";
    GetClassNameA(window, name, sizeof(name));
    return lstrcmpiA(name, "Edit") == 0;
}

} // namespace

CMainFrame::CMainFrame()
    : m_view(*this), m_mappingServer(&CManager::PublishSelection, &CManager::CurrentPublishGeneration),
      m_rememberPassword(CSettings().RememberPassword() != 0), m_autoRun(CSettings().RememberAutoRun() != 0)
{
    g_mainFrame = this;
}

CMainFrame *CMainFrame::Instance()
{
    return g_mainFrame;
}

bool CMainFrame::Create(HINSTANCE instance)
{
    WNDCLASSEXA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    windowClass.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                                        GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kMainWindowClassName;
    if (RegisterClassExA(&windowClass) == 0)
        return false;

    const std::string title = LoadText(IDR_MAINFRAME);
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    // Room for the panels and the list's columns, within the work area.
    RECT workArea = {0, 0, kInitialWidth, kInitialHeight};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    const int width = std::min(kInitialWidth, static_cast<int>(workArea.right - workArea.left));
    const int height = std::min(kInitialHeight, static_cast<int>(workArea.bottom - workArea.top));
    m_hwnd = CreateWindowExA(WS_EX_CONTROLPARENT, kMainWindowClassName, title.c_str(),
                             WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, width, height,
                             nullptr, menu, instance, this);
    return m_hwnd != nullptr;
}

LRESULT CALLBACK CMainFrame::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CMainFrame *self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<CMainFrame *>(reinterpret_cast<CREATESTRUCTA *>(lParam)->lpCreateParams);
        self->m_hwnd = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<CMainFrame *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    if (self == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT CMainFrame::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate() ? 0 : -1;
    case WM_SIZE:
        OnSize();
        return 0;
    case WM_SETFOCUS:
        if (m_view.Hwnd() != nullptr)
            SetFocus(m_view.Hwnd());
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_INITMENUPOPUP:
        UpdateMenuChecks();
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_TRAY_NOTIFY:
        return OnTrayNotify(wParam, lParam);
    case WM_STATUS_TEXT:
        OnStatusText(lParam);
        return 0;
    case WM_REGISTRATION_DONE:
        FinishOpcRegistration(m_hwnd, lParam);
        return 0;
    case WM_SETCURSOR:
        if (SetBusyCursor(lParam))
            return TRUE;
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        if (message == m_taskbarCreatedMessage && m_taskbarCreatedMessage != 0) {
            CTrayIcon::Add(m_hwnd);
            return 0;
        }
        break;
    }
    return DefWindowProcA(m_hwnd, message, wParam, lParam);
}

bool CMainFrame::OnCreate()
{
    // No sunken edge around the frame's client area.
    SetWindowLongPtrA(m_hwnd, GWL_EXSTYLE, GetWindowLongPtrA(m_hwnd, GWL_EXSTYLE) & ~WS_EX_CLIENTEDGE);
    if (!m_statusBar.Create(m_hwnd, IDW_STATUS_BAR))
        return false;
    if (!m_view.Create(m_hwnd, IDW_MAIN_VIEW)) {
        ConsolePrintf("未能创建视图窗口\n");
        return false;
    }
    m_statusBar.SetupPanes(LoadText(IDS_IDLE_MESSAGE).c_str(), LoadText(IDS_WAIT_LOGIN).c_str());
    UpdateMenuChecks();
    m_taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");

    CManager::GetInstance().SetPublishWakeUp([this] { m_mappingServer.Wake(); });
    std::thread([this] { m_mappingServer.ThreadServer(); }).detach();
    m_monitorServer.Start();
    OnSize();
    return true;
}

void CMainFrame::OnSize()
{
    if (m_statusBar.Hwnd() == nullptr)
        return;
    m_statusBar.Reposition();
    RECT client;
    GetClientRect(m_hwnd, &client);
    const int height = client.bottom - m_statusBar.Height();
    if (m_view.Hwnd() != nullptr)
        SetWindowPos(m_view.Hwnd(), nullptr, 0, 0, client.right, height > 0 ? height : 0,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMainFrame::StartupContinuation()
{
    CManager &manager = CManager::GetInstance();
    manager.Load();
    // The saved values are from an earlier run: none is current until polled.
    manager.MarkValuesWaiting();
    m_view.RebuildDeviceTree();
    CStateDialog &panel = m_view.StatePanel();
    if (IsWindow(panel.Hwnd())) {
        panel.SetUserName(manager.UserName());
        panel.SetPassword(manager.Password());
    }
    StartPolling();
    manager.RebuildIndex();
    manager.RebuildDeviceProjects();
    CTrayIcon::Add(m_hwnd);
    HICON small = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME),
                                                IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    SendMessageA(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    // The registration check of the start may still run.
    if (IsOpcRegistrationRunning())
        PostStatusText(kRegistrationProgressText);
}

void CMainFrame::OnCommand(int id)
{
    switch (id) {
    case ID_REGISTER_OPC:
        if (StartOpcRegistration(m_hwnd, true))
            PostStatusText(kRegistrationProgressText);
        break;
    case ID_EXIT_PROGRAM:
        PostQuitMessage(0);
        break;
    case ID_SERVER_SETTINGS: {
        CSettingDialog dialog;
        dialog.DoModal(m_hwnd);
        break;
    }
    case ID_REMEMBER_PASSWORD:
        ToggleRememberPassword();
        break;
    case ID_CLEAR_PASSWORD:
        ClearRememberedPasswords();
        break;
    case ID_AUTO_RUN:
        ToggleAutoRun();
        break;
    case ID_APP_ABOUT:
        ShowAboutDialog(m_hwnd);
        break;
    case ID_SHOW_WINDOW:
        ShowWindow(m_hwnd, SW_SHOW);
        break;
    case ID_EDIT_COPY:
    case ID_EDIT_CUT:
    case ID_EDIT_PASTE:
    case ID_EDIT_UNDO:
        ForwardEditCommand(id);
        break;
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        m_view.MoveFocusToPane(id == ID_NEXT_PANE);
        break;
    default:
        break;
    }
}

void CMainFrame::ForwardEditCommand(int id)
{
    HWND focus = GetFocus();
    if (focus == nullptr || !IsEditControl(focus))
        return;
    switch (id) {
    case ID_EDIT_COPY:
        SendMessageA(focus, WM_COPY, 0, 0);
        break;
    case ID_EDIT_CUT:
        SendMessageA(focus, WM_CUT, 0, 0);
        break;
    case ID_EDIT_PASTE:
        SendMessageA(focus, WM_PASTE, 0, 0);
        break;
    case ID_EDIT_UNDO:
        SendMessageA(focus, WM_UNDO, 0, 0);
        break;
    default:
        break;
    }
}

void CMainFrame::UpdateMenuChecks()
{
    HMENU menu = GetMenu(m_hwnd);
    if (menu == nullptr)
        return;
    CheckMenuItem(menu, ID_REMEMBER_PASSWORD, MF_BYCOMMAND | (m_rememberPassword ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(menu, ID_AUTO_RUN, MF_BYCOMMAND | (m_autoRun ? MF_CHECKED : MF_UNCHECKED));
}

void CMainFrame::ToggleRememberPassword()
{
    m_rememberPassword = !m_rememberPassword;
    CSettings().WriteRememberPassword(m_rememberPassword ? 1 : 0);
    UpdateMenuChecks();
}

void CMainFrame::ToggleAutoRun()
{
    m_autoRun = !m_autoRun;
    CSettings().WriteRememberAutoRun(m_autoRun ? 1 : 0);
    SyncAutorunFromSettings();
    UpdateMenuChecks();
}

void CMainFrame::ClearRememberedPasswords()
{
    if (ShowMessageTitled(m_hwnd, "是否清空所有已经记住的登录密码？", "提示", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    SaveProjectFile(false);
    ShowMessageTitled(m_hwnd, "清除成功！", "提示", MB_OK | MB_ICONINFORMATION);
}

void CMainFrame::OnClose()
{
    CTrayIcon::Add(m_hwnd);
    ShowWindow(m_hwnd, SW_HIDE);
}

LRESULT CMainFrame::OnTrayNotify(WPARAM wParam, LPARAM lParam)
{
    if (wParam != kTrayIconId)
        return 1;
    switch (lParam) {
    case WM_LBUTTONDBLCLK:
        ShowWindow(m_hwnd, SW_SHOW);
        break;
    case WM_RBUTTONUP:
        CTrayIcon::ShowMenu(m_hwnd);
        break;
    default:
        break;
    }
    return 0;
}

void CMainFrame::OnStatusText(LPARAM lParam)
{
    char *text = reinterpret_cast<char *>(lParam);
    m_statusBar.SetPaneText(1, text != nullptr ? text : "");
    delete[] text;
}
