// toolbar_dialog.cpp - the toolbar panel's commands: select all, search,
// submit, set and clear the device's group.
#include "toolbar_dialog.h"

#include "dialog_owner.h"
#include "gateway_commands.h"
#include "manager.h"
#include "message_box.h"
#include "resource_ids.h"
#include "var_list_ctrl.h"
#include "visual_style.h"

#include <vector>

namespace {

std::string TrimBlanks(const std::string &text)
{
    const std::string::size_type first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

bool CToolbarDialog::Create(HWND parent)
{
    m_dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TOOLBAR), parent, DialogProc,
                                  reinterpret_cast<LPARAM>(this));
    return m_dialog != nullptr;
}

INT_PTR CALLBACK CToolbarDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    CToolbarDialog *self = DialogOwner<CToolbarDialog>(dialog, message, lParam);
    if (self == nullptr)
        return FALSE;
    if (message == WM_INITDIALOG) {
        self->m_dialog = dialog;
        self->OnInitDialog();
        return FALSE;
    }
    switch (message) {
    case WM_COMMAND:
        return self->OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return StyleDialogColours(message, wParam);
    default:
        return FALSE;
    }
}

void CToolbarDialog::OnInitDialog()
{
    m_searchEdit.Attach(GetDlgItem(m_dialog, IDC_SEARCH), "请输入关键字搜索变量...");
}

bool CToolbarDialog::OnCommand(int id, int code)
{
    switch (id) {
    case IDC_SELECT_ALL:
        if (code == BN_CLICKED)
            OnSelectAll();
        return true;
    case IDC_SEARCH:
        if (code == EN_CHANGE)
            OnSearchChanged();
        return true;
    case IDC_SUBMIT:
        if (code == BN_CLICKED)
            OnSubmitVariables();
        return true;
    case IDC_SET_GROUP:
        if (code == BN_CLICKED)
            OnSetGroup();
        return true;
    case IDC_CLEAR_GROUP:
        if (code == BN_CLICKED)
            OnClearGroup();
        return true;
    case IDOK:
    case IDCANCEL:
        // Enter and Esc in the panel: nothing to confirm or close.
        return true;
    default:
        return false;
    }
}

std::string CToolbarDialog::ItemText(int id) const
{
    HWND control = GetDlgItem(m_dialog, id);
    const int length = GetWindowTextLengthA(control);
    std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
    GetWindowTextA(control, text.data(), length + 1);
    return std::string(text.data());
}

void CToolbarDialog::ClearSearch()
{
    SetDlgItemTextA(m_dialog, IDC_SEARCH, "");
}

void CToolbarDialog::SetSelectAll(bool checked)
{
    CheckDlgButton(m_dialog, IDC_SELECT_ALL, checked ? BST_CHECKED : BST_UNCHECKED);
}

void CToolbarDialog::SetGroupNameText(const std::string &text)
{
    m_groupName = text;
    SetDlgItemTextA(m_dialog, IDC_GROUP_NAME, m_groupName.c_str());
}

void CToolbarDialog::OnSelectAll()
{
    if (m_list != nullptr)
        m_list->SetAllChecked(IsDlgButtonChecked(m_dialog, IDC_SELECT_ALL) == BST_CHECKED);
}

void CToolbarDialog::OnSearchChanged()
{
    m_searchEdit.OnTextChanged();
    if (m_list != nullptr)
        m_list->Fill(ItemText(IDC_SEARCH));
}

void CToolbarDialog::OnSubmitVariables()
{
    CDevice *device = m_list != nullptr ? m_list->Device() : nullptr;
    if (device == nullptr)
        return;
    {
        CManager &manager = CManager::GetInstance();
        auto lock = manager.Lock();
        device->ApplySelection();
    }
    ClearSearch();
    m_commands.Submit();
}

void CToolbarDialog::OnSetGroup()
{
    CDevice *device = m_list != nullptr ? m_list->Device() : nullptr;
    if (device == nullptr)
        return;
    m_groupName = ItemText(IDC_GROUP_NAME);
    const std::string group = TrimBlanks(m_groupName);
    if (group.empty()) {
        ShowMessage(m_commands.MainWindow(), "请输入分组名称！", MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (!CManager::GetInstance().SetGroupName(group, *device)) {
        ShowMessage(m_commands.MainWindow(), "组名不能重复！", MB_OK | MB_ICONINFORMATION);
        return;
    }
    m_commands.Submit();
}

void CToolbarDialog::OnClearGroup()
{
    CDevice *device = m_list != nullptr ? m_list->Device() : nullptr;
    if (device == nullptr)
        return;
    if (ShowMessageTitled(m_commands.MainWindow(),
                          "如果选中的多个设备存在相同的变量名称，取消分组可能导致变量名冲突，是否继续？", "提示",
                          MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // The list may have changed while the question was open.
    device = m_list->Device();
    if (device == nullptr)
        return;
    SetGroupNameText(std::string());
    CManager::GetInstance().SetGroupName(std::string(), *device);
    m_commands.Submit();
}
