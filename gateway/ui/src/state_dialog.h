// state_dialog.h - CStateDialog, the login and status panel in the top-left
// corner of the main view: the status button, user name, password, "登录"
// and "注销". The panel keeps the user name and password of the last manual
// login (or of the start) and the login time. A manual login runs in the
// background; the panel stays usable and takes one login at a time.
#pragma once

#include "png_resource.h"
#include "status_button.h"

#include <windows.h>

#include <cstdint>
#include <string>

class CChildView;
class IGatewayCommands;

class CStateDialog {
public:
    CStateDialog(IGatewayCommands &commands, CChildView &view);
    CStateDialog(const CStateDialog &) = delete;
    CStateDialog &operator=(const CStateDialog &) = delete;

    // The process's status panel once constructed (never cleared).
    static CStateDialog *Instance();

    // Modeless child of parent from template 313. Its initialisation runs
    // the OPC registration check, which may end the program.
    bool Create(HWND parent);
    HWND Hwnd() const { return m_dialog; }

    // The two states. Any thread may request one; the panel shows the
    // requests in the order they were made.
    void RequestLoggedIn();
    void RequestLoggedOut();

    // Stored texts, as last exchanged with the controls.
    std::string UserName() const { return m_userName; }
    std::string Password() const { return m_password; }
    // Each followed by a transfer of the stored texts to the controls.
    void SetUserName(const std::string &text);
    void SetPassword(const std::string &text);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    bool OnCommand(int id, int code);
    void ShowLoggedOutState();
    void ShowLoggedInState();
    void RefreshDescription();
    void FillUserNameList();
    void TransferToControls();
    void TransferFromControls();
    void ManualLogin();
    void OnLoginDone(LPARAM lParam);

    IGatewayCommands &m_commands;
    CChildView &m_view;
    HWND m_dialog = nullptr;
    CStatusButton m_statusButton;
    PngPicture m_loggedInPicture;
    PngPicture m_loggedOutPicture;
    std::string m_userName;
    std::string m_password;
    std::int64_t m_loginTime = 0; // seconds since 1970; 0 when not logged in
    bool m_loginPending = false;  // a manual login waits for its answer
};
