// setting_dialog.h - CSettingDialog, the modal "高级设置" dialog: host and
// port of the cloud platform, checked and written to the settings file.
// The running program keeps the address it read at its start.
#pragma once

#include <windows.h>

#include <string>

class CSettingDialog {
public:
    // Modal; IDOK when the settings file received the new host and port.
    INT_PTR DoModal(HWND owner);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnOk();

    HWND m_dialog = nullptr;
    std::string m_host; // dialog data, exchanged with 1021
    int m_port = 0;     // dialog data, exchanged with 1022
};
