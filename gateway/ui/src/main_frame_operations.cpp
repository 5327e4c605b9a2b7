// main_frame_operations.cpp - the main window's gateway operations: submit,
// logout and the credential store.
#include "main_frame.h"

#include "bridge_shutdown.h"
#include "manager.h"
#include "message_box.h"
#include "process_kill.h"
#include "query_thread.h"
#include "settings.h"
#include "state_dialog.h"
#include "status_notifications.h"

#include <system_error>
#include <thread>

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
    CManager &manager = CManager::GetInstance();
    manager.SetRunning(true);
    manager.RebuildIndex();
    // The bridge ends only once the new selection is in the segment: a
    // client that reconnects at once must get a bridge that declares it.
    m_mappingServer.WaitPublished(1000);
    // Asked to end, the bridge tells its clients first (up to a second); the
    // window does not wait for that.
    try {
        std::thread([] { EndBridgeProgram(kBridgeProgramName); }).detach();
    } catch (const std::system_error &) {
        KillProcessByName(kBridgeProgramName);
    }
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
