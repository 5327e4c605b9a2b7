// select_collector_dialog.cpp - project list from "queryDeviceTree", the
// variables of the chosen projects from "queryVariantTree", each request on
// a thread of its own.
#include "select_collector_dialog.h"

#include "action_failure_text.h"
#include "background_task.h"
#include "busy_cursor.h"
#include "dialog_owner.h"
#include "list_columns.h"
#include "manager.h"
#include "message_box.h"
#include "query_collector_info_action.h"
#include "query_variant_info_action.h"
#include "resource_ids.h"
#include "ui_messages.h"
#include "visual_style.h"

#include <commctrl.h>

namespace {

const ListColumn kColumns[] = {{"项目ID", 100}, {"项目名称", 180}, {"设备数量", 100}};

void SetCell(HWND list, int row, int column, const std::string &text)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.iSubItem = column;
    item.pszText = const_cast<char *>(text.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::string Cell(HWND list, int row, int column)
{
    char text[512] = "";
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

// One row of the project list, as the worker copies it from the answer.
struct ProjectRow {
    std::string id;
    std::string name;
    std::size_t deviceCount;
};

struct ProjectsAnswer {
    bool ok = false;
    std::string failureText;
    std::vector<ProjectRow> rows;
};

struct VariablesAnswer {
    bool ok = false;
    std::string failureText;
};

const UINT kMarqueeIntervalMs = 30;

} // namespace

INT_PTR CSelectCollectorDialog::DoModal(HWND owner)
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SELECT_COLLECTOR), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CSelectCollectorDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    CSelectCollectorDialog *self = DialogOwner<CSelectCollectorDialog>(dialog, message, lParam);
    if (self == nullptr)
        return FALSE;
    if (message == WM_INITDIALOG) {
        self->m_dialog = dialog;
        self->OnInitDialog();
        return TRUE;
    }
    return self->HandleMessage(message, wParam, lParam);
}

INT_PTR CSelectCollectorDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_SELECT_ALL_PROJECTS:
            if (HIWORD(wParam) == BN_CLICKED)
                OnSelectAll();
            return TRUE;
        case IDOK:
            OnOk();
            return TRUE;
        case IDCANCEL:
            OnCancel();
            return TRUE;
        default:
            return FALSE;
        }
    case WM_PROJECTS_LOADED:
        OnProjectsLoaded(lParam);
        return TRUE;
    case WM_VARIABLES_LOADED:
        OnVariablesLoaded(lParam);
        return TRUE;
    case WM_SETCURSOR:
        if (!SetBusyCursor(lParam))
            return FALSE;
        SetWindowLongPtrA(m_dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_DESTROY:
        // Ended from outside (the program quits): the request is given up.
        if (m_requestPending) {
            m_abort->store(true);
            EndRequest();
        }
        return FALSE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return StyleDialogColours(message, wParam);
    default:
        return FALSE;
    }
}

void CSelectCollectorDialog::BeginRequest()
{
    m_requestPending = true;
    m_abort = std::make_shared<std::atomic<bool>>(false);
    HWND progress = GetDlgItem(m_dialog, IDC_PROJECT_PROGRESS);
    ShowWindow(progress, SW_SHOW);
    SendMessageA(progress, PBM_SETMARQUEE, TRUE, kMarqueeIntervalMs);
    EnableWindow(GetDlgItem(m_dialog, IDOK), FALSE);
    EnableWindow(GetDlgItem(m_dialog, IDC_SELECT_ALL_PROJECTS), FALSE);
    BeginBusy();
}

void CSelectCollectorDialog::EndRequest()
{
    m_requestPending = false;
    HWND progress = GetDlgItem(m_dialog, IDC_PROJECT_PROGRESS);
    SendMessageA(progress, PBM_SETMARQUEE, FALSE, 0);
    ShowWindow(progress, SW_HIDE);
    EnableWindow(GetDlgItem(m_dialog, IDOK), TRUE);
    EnableWindow(GetDlgItem(m_dialog, IDC_SELECT_ALL_PROJECTS), TRUE);
    EndBusy();
}

void CSelectCollectorDialog::OnInitDialog()
{
    m_list = GetDlgItem(m_dialog, IDC_PROJECT_LIST);
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    InsertListColumns(m_list, kColumns);

    BeginRequest();
    const std::shared_ptr<std::atomic<bool>> abort = m_abort;
    StartBackgroundTask<ProjectsAnswer>(m_dialog, WM_PROJECTS_LOADED, [abort] {
        CQueryCollectorInfoAction query;
        query.SetAbortFlag(abort.get());
        ProjectsAnswer answer;
        answer.ok = query.Request();
        if (!answer.ok) {
            answer.failureText = ActionFailureText(query);
            return answer;
        }
        for (const auto &project : query.projects)
            answer.rows.push_back({project->projectId, project->projectName, project->devices.size()});
        return answer;
    });
}

void CSelectCollectorDialog::OnProjectsLoaded(LPARAM lParam)
{
    const std::unique_ptr<ProjectsAnswer> answer = TakeTaskResult<ProjectsAnswer>(lParam);
    EndRequest();
    if (m_cancelled) {
        EndDialog(m_dialog, IDCANCEL);
        return;
    }
    if (!answer->ok) {
        ShowMessage(m_dialog, answer->failureText.c_str());
        EndDialog(m_dialog, IDCANCEL);
        return;
    }
    int row = 0;
    for (const ProjectRow &project : answer->rows) {
        LVITEMA item;
        ZeroMemory(&item, sizeof(item));
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<char *>(project.id.c_str());
        const int inserted = static_cast<int>(SendMessageA(m_list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        if (inserted < 0)
            continue;
        SetCell(m_list, inserted, 1, project.name);
        SetCell(m_list, inserted, 2, std::to_string(project.deviceCount));
        ListView_SetCheckState(m_list, inserted, FALSE);
        ++row;
    }
}

void CSelectCollectorDialog::OnSelectAll()
{
    const BOOL checked = IsDlgButtonChecked(m_dialog, IDC_SELECT_ALL_PROJECTS) == BST_CHECKED;
    const int count = ListView_GetItemCount(m_list);
    for (int row = 0; row < count; ++row)
        ListView_SetCheckState(m_list, row, checked);
}

std::vector<std::string> CSelectCollectorDialog::CheckedProjectIds() const
{
    std::vector<std::string> ids;
    const int count = ListView_GetItemCount(m_list);
    for (int row = 0; row < count; ++row)
        if (ListView_GetCheckState(m_list, row))
            ids.push_back(Cell(m_list, row, 0));
    return ids;
}

void CSelectCollectorDialog::OnOk()
{
    // One request at a time.
    if (m_requestPending || m_cancelled)
        return;
    const std::vector<std::string> ids = CheckedProjectIds();
    if (ids.empty()) {
        ShowMessage(m_dialog, "没有选择任何项目!");
        return;
    }
    CManager::GetInstance().ClearProjects();
    BeginRequest();
    const std::shared_ptr<std::atomic<bool>> abort = m_abort;
    StartBackgroundTask<VariablesAnswer>(m_dialog, WM_VARIABLES_LOADED, [abort, ids] {
        CQueryVariantInfoAction query;
        query.SetAbortFlag(abort.get());
        query.projectIds = ids;
        VariablesAnswer answer;
        answer.ok = query.Request();
        if (!answer.ok)
            answer.failureText = ActionFailureText(query);
        return answer;
    });
}

void CSelectCollectorDialog::OnVariablesLoaded(LPARAM lParam)
{
    const std::unique_ptr<VariablesAnswer> answer = TakeTaskResult<VariablesAnswer>(lParam);
    EndRequest();
    CManager &manager = CManager::GetInstance();
    if (m_cancelled) {
        // Cancelled while loading: the data model is left without projects,
        // as after a failed load, even when the answer came in first.
        if (answer->ok)
            manager.ClearProjects();
        EndDialog(m_dialog, IDCANCEL);
        return;
    }
    if (!answer->ok) {
        ShowMessage(m_dialog, answer->failureText.c_str());
        return;
    }
    manager.RebuildIndex();
    manager.RebuildDeviceProjects();
    EndDialog(m_dialog, IDOK);
}

void CSelectCollectorDialog::OnCancel()
{
    if (!m_requestPending) {
        EndDialog(m_dialog, IDCANCEL);
        return;
    }
    // The dialog closes once the request has been given up.
    m_cancelled = true;
    m_abort->store(true);
    EnableWindow(GetDlgItem(m_dialog, IDCANCEL), FALSE);
}
