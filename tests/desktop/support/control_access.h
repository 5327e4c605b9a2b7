// control_access.h - reading and driving the controls of another process:
// texts, clicks, list view rows, tree items, status bar panes, button notes
// and combo box entries. Clicks are posted, so that a message box or modal
// dialog they open never blocks the test.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace gui {

// Window texts (WM_GETTEXT / WM_SETTEXT, carried across processes).
std::string Text(HWND window);
bool SetText(HWND window, const std::string &text);

// BM_CLICK, posted: the button (or check box) clicks itself.
void Click(HWND button);
bool IsChecked(HWND button);

// List view.
int ListCount(HWND list);
std::string ListText(HWND list, int row, int column);
std::vector<std::string> ListColumn(HWND list, int column);
bool ListChecked(HWND list, int row); // state image "checked"
bool SetListItemState(HWND list, int row, UINT state, UINT mask);
RECT ListItemRect(HWND list, int row);
// A posted left click at a point of the list's client area.
void ClickAt(HWND window, int x, int y);

// Tree view.
struct TreeItem {
    HTREEITEM handle;
    std::string text;
    int image;
    int depth; // 0 for a root item
};
std::vector<TreeItem> TreeItems(HWND tree);
bool SelectTreeItem(HWND tree, HTREEITEM item);

// Status bar pane text.
std::string StatusText(HWND bar, int pane);
// BCM_GETNOTE of a button, converted to the ANSI code page.
std::string ButtonNote(HWND button);
// Combo box list entries.
std::vector<std::string> ComboEntries(HWND combo);

} // namespace gui
