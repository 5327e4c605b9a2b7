// select_collector_dialog.h - CSelectCollectorDialog, the modal "选择项目"
// dialog after a manual login: the account's projects with their device
// counts; on OK the chosen projects' devices and variables are loaded into
// the data model.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CSelectCollectorDialog {
public:
    // IDOK only after the data model was reloaded with the chosen projects.
    INT_PTR DoModal(HWND owner);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnSelectAll();
    void OnOk();
    std::vector<std::string> CheckedProjectIds() const;

    HWND m_dialog = nullptr;
    HWND m_list = nullptr;
};
