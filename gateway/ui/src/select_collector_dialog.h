// select_collector_dialog.h - CSelectCollectorDialog, the modal "选择项目"
// dialog after a manual login: the account's projects with their device
// counts; on OK the chosen projects' devices and variables are loaded into
// the data model. Both requests run in the background while the dialog
// shows a moving progress bar; a cancel during a request waits for the
// request to be given up.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class CSelectCollectorDialog {
public:
    // IDOK only after the data model was reloaded with the chosen projects.
    INT_PTR DoModal(HWND owner);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnSelectAll();
    void OnOk();
    void OnCancel();
    void OnProjectsLoaded(LPARAM lParam);
    void OnVariablesLoaded(LPARAM lParam);
    // A request starts or has been answered: progress bar, buttons, cursor.
    void BeginRequest();
    void EndRequest();
    std::vector<std::string> CheckedProjectIds() const;

    HWND m_dialog = nullptr;
    HWND m_list = nullptr;
    bool m_requestPending = false;
    bool m_cancelled = false;
    // Set to give the running request up; shared with its thread.
    std::shared_ptr<std::atomic<bool>> m_abort;
};
