// main_frame_operations.cpp - the main window's gateway operations: submit,
// logout and the credential store.
#include "main_frame.h"

#include "manager.h"
#include "message_box.h"
#include "bridge_shutdown.h"
#include "query_thread.h"
#include "settings.h"
#include "state_dialog.h"
#include "status_notifications.h"

namespace {

const char kBridgeProgramName[] = "Tessiva.exe";

} // namespace

bool SaveProjectFile(bool keepPassword)
{
    CManager &manager = CManager::GetInstance();
    auto lock = manager.Lock();
    if (keepPassword)
        return manager.Save();
    // The automatic logins of this run still need the password; only the
    // file goes without it.
    const std::string password = manager.password;
    manager.password.clear();
    const bool saved = manager.Save();
    manager.password = password;
    return saved;
}

void CMainFrame::StoreCredentials()
{
    CStateDialog &panel = m_view.StatePanel();
    const bool panelExists = IsWindow(panel.Hwnd()) != FALSE;
    const std::string userName = panelExists ? panel.UserName() : std::string();
    const std::string password = panelExists ? panel.Password() : std::string();
    const bool remember = CSettings().RememberPassword() != 0;
    CQueryThread::SetCredentials(userName, password);
    SaveProjectFile(remember);
}

void CMainFrame::Submit()
{
    EndBridgeProgram(kBridgeProgramName);
    CManager &manager = CManager::GetInstance();
    manager.SetRunning(true);
    manager.RebuildIndex();
    StoreCredentials();
    m_view.RedrawShownDeviceIcon();
    ShowMessage(m_hwnd, "设置成功!");
}

void CMainFrame::Logout()
{
    if (ShowMessageTitled(m_hwnd, "确定注销吗?", "提示", MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES)
        return;
    CManager &manager = CManager::GetInstance();
    manager.SetRunning(false);
    PostStatusText("操作已被停止");
    ShowLoggedOut();
    if (manager.InvalidateValues())
        RequestValueRefresh(1);
    m_view.EmptyListAndTree();
    {
        auto lock = manager.Lock();
        manager.deptId.clear();
        manager.sessionId.clear();
    }
    manager.ClearIndex();
    StoreCredentials();
}
