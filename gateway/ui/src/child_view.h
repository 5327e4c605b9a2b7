// child_view.h - CChildView, the main view filling the main window: the
// status panel top left, the toolbar panel to its right, the device tree
// below the status panel and the variable list below the toolbar.
#pragma once

#include "device_tree.h"
#include "state_dialog.h"
#include "toolbar_dialog.h"
#include "var_list_ctrl.h"

#include <windows.h>

#include <commctrl.h>

class IGatewayCommands;

class CChildView {
public:
    explicit CChildView(IGatewayCommands &commands);
    CChildView(const CChildView &) = delete;
    CChildView &operator=(const CChildView &) = delete;

    // The process's main view once constructed (never cleared).
    static CChildView *Instance();

    bool Create(HWND parent, int id);
    HWND Hwnd() const { return m_view; }
    CStateDialog &StatePanel() { return m_statePanel; }
    CVarListCtrl &List() { return m_list; }

    // Tree anew from the data model; the first device is selected and shown.
    void RebuildDeviceTree();
    // No rows, no device shown, no tree items.
    void EmptyListAndTree();
    // Icon of the device shown, after a submit.
    void RedrawShownDeviceIcon();
    // Keyboard focus to the next (or previous) of status panel, toolbar,
    // tree and list.
    void MoveFocusToPane(bool next);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnCreate();
    void Layout(int width, int height);
    LRESULT OnNotify(const NMHDR &header);
    void OnTreeSelectionChanged(HTREEITEM item);

    IGatewayCommands &m_commands;
    HWND m_view = nullptr;
    CVarListCtrl m_list;
    HIMAGELIST m_images = nullptr;
    CDeviceTree m_tree;
    HTREEITEM m_shownItem = nullptr;
    HFONT m_listFont = nullptr;
    CStateDialog m_statePanel;
    CToolbarDialog m_toolbar;
};
