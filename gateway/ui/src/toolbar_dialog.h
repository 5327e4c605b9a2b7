// toolbar_dialog.h - CToolbarDialog, the panel above the variable list:
// "全选", "提交变量", the search edit, the device's group name with
// "设置分组" and "取消分组".
#pragma once

#include "search_edit.h"

#include <windows.h>

#include <string>

class CVarListCtrl;
class IGatewayCommands;

class CToolbarDialog {
public:
    explicit CToolbarDialog(IGatewayCommands &commands) : m_commands(commands) {}
    CToolbarDialog(const CToolbarDialog &) = delete;
    CToolbarDialog &operator=(const CToolbarDialog &) = delete;

    // Modeless child of parent from template 318.
    bool Create(HWND parent);
    HWND Hwnd() const { return m_dialog; }
    void LinkList(CVarListCtrl *list) { m_list = list; }

    // Empties the search edit; the list refills through the filter.
    void ClearSearch();
    void SetSelectAll(bool checked);
    void SetGroupNameText(const std::string &text);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    bool OnCommand(int id, int code);
    void OnSelectAll();
    void OnSearchChanged();
    void OnSubmitVariables();
    void OnSetGroup();
    void OnClearGroup();
    std::string ItemText(int id) const;

    IGatewayCommands &m_commands;
    HWND m_dialog = nullptr;
    CVarListCtrl *m_list = nullptr;
    CSearchEdit m_searchEdit;
    std::string m_groupName; // dialog data, exchanged with 1030
};
