// state_dialog.cpp - the status panel: its two states, the accounts list,
// and the manual login that leads into the project selection. The login
// request runs in the background; the panel takes its answer as a message.
#include "state_dialog.h"

#include "background_task.h"
#include "busy_cursor.h"
#include "child_view.h"
#include "dialog_owner.h"
#include "gateway_commands.h"
#include "login_action.h"
#include "manager.h"
#include "message_box.h"
#include "opc_registration.h"
#include "resource_ids.h"
#include "select_collector_dialog.h"
#include "settings.h"
#include "status_notifications.h"
#include "ui_messages.h"
#include "visual_style.h"

#include <ctime>
#include <vector>

namespace {

const UINT_PTR kDescriptionTimer = 0;
const UINT kDescriptionIntervalMs = 10000;
// Pause after stopping the polling worker, before the login goes out.
const DWORD kLoginPauseMs = 1500;

const COLORREF kLoggedOutFace = RGB(193, 193, 193);
const COLORREF kLoggedInFace = RGB(90, 216, 120);

CStateDialog *g_statePanel = nullptr;

// The answer to a manual login, with the texts it was made with.
struct LoginOutcome {
    std::string userName;
    std::string password;
    bool accepted = false;
    std::string failureText; // empty for a refusal
};

std::string WindowText(HWND window)
{
    const int length = GetWindowTextLengthA(window);
    std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
    GetWindowTextA(window, text.data(), length + 1);
    return std::string(text.data());
}

} // namespace

CStateDialog::CStateDialog(IGatewayCommands &commands, CChildView &view) : m_commands(commands), m_view(view)
{
    g_statePanel = this;
}

CStateDialog *CStateDialog::Instance()
{
    return g_statePanel;
}

bool CStateDialog::Create(HWND parent)
{
    m_dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_STATE), parent, DialogProc,
                                  reinterpret_cast<LPARAM>(this));
    return m_dialog != nullptr;
}

INT_PTR CALLBACK CStateDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    CStateDialog *self = DialogOwner<CStateDialog>(dialog, message, lParam);
    if (self == nullptr)
        return FALSE;
    if (message == WM_INITDIALOG) {
        self->m_dialog = dialog;
        self->OnInitDialog();
        return FALSE;
    }
    return self->HandleMessage(message, wParam, lParam);
}

INT_PTR CStateDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT &item = *reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
        if (item.CtlID == IDC_STATUS_BUTTON) {
            m_statusButton.Draw(item);
            return TRUE;
        }
        return FALSE;
    }
    case WM_TIMER:
        if (wParam == kDescriptionTimer)
            RefreshDescription();
        return TRUE;
    case WM_SHOW_LOGIN_STATE:
        if (wParam != 0)
            ShowLoggedInState();
        else
            ShowLoggedOutState();
        return TRUE;
    case WM_LOGIN_DONE:
        OnLoginDone(lParam);
        return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return StyleDialogColours(message, wParam);
    default:
        return FALSE;
    }
}

void CStateDialog::OnInitDialog()
{
    // The first thing of every start; it may end the program.
    CheckOpcRegistration(m_commands.MainWindow());

    HINSTANCE instance = GetModuleHandleA(nullptr);
    m_loggedInPicture = LoadPngResource(instance, IDB_LOGGED_IN);
    m_loggedOutPicture = LoadPngResource(instance, IDB_LOGGED_OUT);
    m_statusButton.Attach(GetDlgItem(m_dialog, IDC_STATUS_BUTTON));
    m_statusButton.SetImage(&m_loggedOutPicture);
    m_statusButton.SetFaceColour(kLoggedOutFace);
    m_statusButton.SetCaption("未登录");
    RefreshDescription();

    SetTimer(m_dialog, kDescriptionTimer, kDescriptionIntervalMs, nullptr);
    RefreshDescription();

    FillUserNameList();
}

bool CStateDialog::OnCommand(int id, int code)
{
    switch (id) {
    case IDC_LOGIN:
        if (code == BN_CLICKED)
            ManualLogin();
        return true;
    case IDC_LOGOUT:
        if (code == BN_CLICKED)
            m_commands.Logout();
        return true;
    case IDC_STATUS_BUTTON:
        if (code == BN_CLICKED)
            SetFocus(GetDlgItem(m_dialog, IDC_USER_NAME));
        return true;
    case IDC_USER_NAME:
        if (code == CBN_SELCHANGE) {
            m_password.clear();
            SetDlgItemTextA(m_dialog, IDC_PASSWORD, "");
            SetFocus(GetDlgItem(m_dialog, IDC_PASSWORD));
        }
        return true;
    case IDC_PASSWORD:
        if (code == EN_KILLFOCUS)
            RedrawWindow(m_dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        return true;
    case IDOK:
    case IDCANCEL:
        // Enter and Esc in the panel: nothing to confirm or close.
        return true;
    default:
        return false;
    }
}

void CStateDialog::RequestLoggedIn()
{
    PostMessageA(m_dialog, WM_SHOW_LOGIN_STATE, 1, 0);
}

void CStateDialog::RequestLoggedOut()
{
    PostMessageA(m_dialog, WM_SHOW_LOGIN_STATE, 0, 0);
}

void CStateDialog::ShowLoggedOutState()
{
    // A login under way keeps its button disabled until it is answered.
    EnableWindow(GetDlgItem(m_dialog, IDC_LOGIN), m_loginPending ? FALSE : TRUE);
    EnableWindow(GetDlgItem(m_dialog, IDC_LOGOUT), FALSE);
    EnableWindow(GetDlgItem(m_dialog, IDC_USER_NAME), TRUE);
    SendDlgItemMessageA(m_dialog, IDC_PASSWORD, EM_SETREADONLY, FALSE, 0);
    m_loginTime = 0;
    m_statusButton.SetImage(&m_loggedOutPicture);
    m_statusButton.SetFaceColour(kLoggedOutFace);
    m_statusButton.SetCaption("未登录");
    RefreshDescription();
}

void CStateDialog::ShowLoggedInState()
{
    EnableWindow(GetDlgItem(m_dialog, IDC_LOGIN), FALSE);
    EnableWindow(GetDlgItem(m_dialog, IDC_LOGOUT), TRUE);
    EnableWindow(GetDlgItem(m_dialog, IDC_USER_NAME), FALSE);
    SendDlgItemMessageA(m_dialog, IDC_PASSWORD, EM_SETREADONLY, TRUE, 0);
    m_loginTime = _time64(nullptr);
    m_statusButton.SetImage(&m_loggedInPicture);
    m_statusButton.SetFaceColour(kLoggedInFace);
    m_statusButton.SetCaption("已登录");
    RefreshDescription();
}

void CStateDialog::RefreshDescription()
{
    if (m_loginPending)
        m_statusButton.SetDescription("正在登录云平台");
    else
        m_statusButton.SetDescription(m_loginTime != 0 ? "通讯正常" : "请输入帐号密码登录平台");
    m_statusButton.Invalidate();
}

void CStateDialog::FillUserNameList()
{
    HWND box = GetDlgItem(m_dialog, IDC_USER_NAME);
    SendMessageA(box, CB_RESETCONTENT, 0, 0);
    const std::vector<std::string> accounts = CSettings().Accounts();
    for (auto account = accounts.rbegin(); account != accounts.rend(); ++account)
        SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(account->c_str()));
    SetWindowTextA(box, m_userName.c_str());
}

void CStateDialog::TransferToControls()
{
    SetDlgItemTextA(m_dialog, IDC_USER_NAME, m_userName.c_str());
    SetDlgItemTextA(m_dialog, IDC_PASSWORD, m_password.c_str());
}

void CStateDialog::TransferFromControls()
{
    m_userName = WindowText(GetDlgItem(m_dialog, IDC_USER_NAME));
    m_password = WindowText(GetDlgItem(m_dialog, IDC_PASSWORD));
}

void CStateDialog::SetUserName(const std::string &text)
{
    m_userName = text;
    TransferToControls();
}

void CStateDialog::SetPassword(const std::string &text)
{
    m_password = text;
    TransferToControls();
}

void CStateDialog::ManualLogin()
{
    // One login at a time.
    if (m_loginPending)
        return;
    TransferFromControls();
    HWND owner = m_commands.MainWindow();
    if (m_userName.empty() || m_password.empty()) {
        ShowMessage(owner, "用户名或密码不能为空!");
        return;
    }
    CManager &manager = CManager::GetInstance();
    manager.SetRunning(false);
    PostStatusText("操作已被停止");

    m_loginPending = true;
    EnableWindow(GetDlgItem(m_dialog, IDC_LOGIN), FALSE);
    RefreshDescription();
    BeginBusy();
    const std::string userName = m_userName;
    const std::string password = m_password;
    StartBackgroundTask<LoginOutcome>(m_dialog, WM_LOGIN_DONE, [userName, password] {
        // The polling worker sees the stop before the login goes out.
        Sleep(kLoginPauseMs);
        CLoginAction login(userName, password);
        LoginOutcome outcome;
        outcome.userName = userName;
        outcome.password = password;
        outcome.accepted = login.Request();
        outcome.failureText = login.ErrorText();
        return outcome;
    });
}

void CStateDialog::OnLoginDone(LPARAM lParam)
{
    const std::unique_ptr<LoginOutcome> outcome = TakeTaskResult<LoginOutcome>(lParam);
    m_loginPending = false;
    RefreshDescription();
    EndBusy();
    HWND owner = m_commands.MainWindow();
    if (!outcome->accepted) {
        EnableWindow(GetDlgItem(m_dialog, IDC_LOGIN), m_loginTime == 0 ? TRUE : FALSE);
        ShowMessage(owner, outcome->failureText.empty() ? "账号或密码错误！" : outcome->failureText.c_str());
        return;
    }
    // The texts of the accepted login are the ones the credential store
    // keeps, whatever was picked in the boxes meanwhile.
    m_userName = outcome->userName;
    m_password = outcome->password;
    CSettings().AddAccount(m_userName);
    FillUserNameList();
    m_view.EmptyListAndTree();
    CSelectCollectorDialog projects;
    if (projects.DoModal(owner) == IDOK) {
        m_view.RebuildDeviceTree();
        m_commands.StoreCredentials();
    }
}
