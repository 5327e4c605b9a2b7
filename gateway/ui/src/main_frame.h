// main_frame.h - CMainFrame, Lumaret's only top-level window: menu, status
// bar and main view; the segment writer and the write request receiver;
// the notification-area icon; submit, logout and the credential store.
#pragma once

#include "child_view.h"
#include "gateway_commands.h"
#include "mapping_server.h"
#include "monitor_server.h"
#include "status_bar.h"

#include <windows.h>

#include <string>

// Window class by which a second copy finds the first one.
extern const char kMainWindowClassName[];

class CMainFrame : public IGatewayCommands {
public:
    CMainFrame();
    CMainFrame(const CMainFrame &) = delete;
    CMainFrame &operator=(const CMainFrame &) = delete;

    // The process's main window once constructed (never cleared).
    static CMainFrame *Instance();

    // Registers the window class and creates the window (hidden). False when
    // the window, its status bar or its view could not be created.
    bool Create(HINSTANCE instance);
    HWND Hwnd() const { return m_hwnd; }
    CChildView &View() { return m_view; }

    // After the window is shown: project file, tree, login fields, polling,
    // indexes, notification-area icon, small icon.
    void StartupContinuation();

    // IGatewayCommands.
    void Submit() override;
    void Logout() override;
    void StoreCredentials() override;
    HWND MainWindow() const override { return m_hwnd; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnCreate();
    void OnSize();
    void OnCommand(int id);
    void OnClose();
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void OnStatusText(LPARAM lParam);
    void UpdateMenuChecks();
    void ToggleRememberPassword();
    void ToggleAutoRun();
    void ClearRememberedPasswords();
    void ForwardEditCommand(int id);

    HWND m_hwnd = nullptr;
    CChildView m_view;
    CStatusBar m_statusBar;
    CMonitorServer m_monitorServer;
    CMappingServer m_mappingServer;
    bool m_rememberPassword;
    bool m_autoRun;
    UINT m_taskbarCreatedMessage = 0;
};

// Saves the project file; without keepPassword the file gets an empty
// password while the data model keeps its own for the automatic logins.
bool SaveProjectFile(bool keepPassword);
