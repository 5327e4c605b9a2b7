// select_collector_dialog.cpp - project list from "queryDeviceTree", the
// variables of the chosen projects from "queryVariantTree".
#include "select_collector_dialog.h"

#include "action_failure_text.h"
#include "dialog_owner.h"
#include "list_columns.h"
#include "manager.h"
#include "message_box.h"
#include "query_collector_info_action.h"
#include "query_variant_info_action.h"
#include "resource_ids.h"
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
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_SELECT_ALL_PROJECTS:
            if (HIWORD(wParam) == BN_CLICKED)
                self->OnSelectAll();
            return TRUE;
        case IDOK:
            self->OnOk();
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return StyleDialogColours(message, wParam);
    default:
        return FALSE;
    }
}

void CSelectCollectorDialog::OnInitDialog()
{
    m_list = GetDlgItem(m_dialog, IDC_PROJECT_LIST);
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    InsertListColumns(m_list, kColumns);

    CQueryCollectorInfoAction query;
    if (!query.Request()) {
        ShowMessage(m_dialog, ActionFailureText(query).c_str());
        EndDialog(m_dialog, IDCANCEL);
        return;
    }
    int row = 0;
    for (const auto &project : query.projects) {
        LVITEMA item;
        ZeroMemory(&item, sizeof(item));
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<char *>(project->projectId.c_str());
        const int inserted = static_cast<int>(SendMessageA(m_list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        if (inserted < 0)
            continue;
        SetCell(m_list, inserted, 1, project->projectName);
        SetCell(m_list, inserted, 2, std::to_string(project->devices.size()));
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
    const std::vector<std::string> ids = CheckedProjectIds();
    if (ids.empty()) {
        ShowMessage(m_dialog, "没有选择任何项目!");
        return;
    }
    CManager &manager = CManager::GetInstance();
    manager.ClearProjects();
    CQueryVariantInfoAction query;
    query.projectIds = ids;
    if (!query.Request()) {
        ShowMessage(m_dialog, ActionFailureText(query).c_str());
        return;
    }
    manager.RebuildIndex();
    manager.RebuildDeviceProjects();
    EndDialog(m_dialog, IDOK);
}
