// control_access.cpp - control messages across processes.
#include "control_access.h"

#include "remote_memory.h"

#include <cstring>

namespace gui {

namespace {

const UINT kSendTimeoutMs = 15000;
const std::size_t kTextSize = 1024;

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result))
        return 0;
    return static_cast<LRESULT>(result);
}

} // namespace

std::string Text(HWND window)
{
    char text[kTextSize] = "";
    Send(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    return text;
}

bool SetText(HWND window, const std::string &text)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                               kSendTimeoutMs, &result) != 0;
}

void Click(HWND button)
{
    PostMessageA(button, BM_CLICK, 0, 0);
}

bool IsChecked(HWND button)
{
    return Send(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int ListCount(HWND list)
{
    return static_cast<int>(Send(list, LVM_GETITEMCOUNT, 0, 0));
}

std::string ListText(HWND list, int row, int column)
{
    CRemoteMemory memory(list, sizeof(LVITEMA) + kTextSize);
    LVITEMA item;
    std::memset(&item, 0, sizeof(item));
    item.iSubItem = column;
    item.pszText = static_cast<char *>(memory.Address(sizeof(LVITEMA)));
    item.cchTextMax = kTextSize;
    const char empty = '\0';
    memory.Write(sizeof(LVITEMA), &empty, 1);
    memory.Write(0, &item, sizeof(item));
    Send(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), memory.Param());
    return memory.ReadText(sizeof(LVITEMA), kTextSize);
}

std::vector<std::string> ListColumn(HWND list, int column)
{
    std::vector<std::string> texts;
    const int count = ListCount(list);
    for (int row = 0; row < count; ++row)
        texts.push_back(ListText(list, row, column));
    return texts;
}

bool ListChecked(HWND list, int row)
{
    const UINT state = static_cast<UINT>(Send(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
    return (state >> 12) == 2;
}

bool SetListItemState(HWND list, int row, UINT state, UINT mask)
{
    CRemoteMemory memory(list, sizeof(LVITEMA));
    LVITEMA item;
    std::memset(&item, 0, sizeof(item));
    item.state = state;
    item.stateMask = mask;
    memory.Write(0, &item, sizeof(item));
    return Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), memory.Param()) != 0;
}

RECT ListItemRect(HWND list, int row)
{
    CRemoteMemory memory(list, sizeof(RECT));
    RECT rect = {LVIR_BOUNDS, 0, 0, 0};
    memory.Write(0, &rect, sizeof(rect));
    Send(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), memory.Param());
    memory.Read(0, &rect, sizeof(rect));
    return rect;
}

void ClickAt(HWND window, int x, int y)
{
    const LPARAM point = MAKELPARAM(x, y);
    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(window, WM_LBUTTONUP, 0, point);
}

namespace {

void CollectTree(HWND tree, HTREEITEM item, int depth, std::vector<TreeItem> &items)
{
    for (; item != nullptr;
         item = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
        CRemoteMemory memory(tree, sizeof(TVITEMA) + kTextSize);
        TVITEMA data;
        std::memset(&data, 0, sizeof(data));
        data.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_IMAGE;
        data.hItem = item;
        data.pszText = static_cast<char *>(memory.Address(sizeof(TVITEMA)));
        data.cchTextMax = kTextSize;
        memory.Write(0, &data, sizeof(data));
        Send(tree, TVM_GETITEMA, 0, memory.Param());
        memory.Read(0, &data, sizeof(data));
        items.push_back({item, memory.ReadText(sizeof(TVITEMA), kTextSize), data.iImage, depth});
        HTREEITEM child =
            reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
        CollectTree(tree, child, depth + 1, items);
    }
}

} // namespace

std::vector<TreeItem> TreeItems(HWND tree)
{
    std::vector<TreeItem> items;
    HTREEITEM root = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    CollectTree(tree, root, 0, items);
    return items;
}

bool SelectTreeItem(HWND tree, HTREEITEM item)
{
    return Send(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
}

std::string StatusText(HWND bar, int pane)
{
    CRemoteMemory memory(bar, kTextSize * 4);
    const char empty = '\0';
    memory.Write(0, &empty, 1);
    Send(bar, SB_GETTEXTA, static_cast<WPARAM>(pane), memory.Param());
    return memory.ReadText(0, kTextSize * 4);
}

std::string ButtonNote(HWND button)
{
    const DWORD characters = 256;
    CRemoteMemory memory(button, sizeof(DWORD) + characters * sizeof(WCHAR));
    memory.Write(0, &characters, sizeof(characters));
    const WCHAR empty = L'\0';
    memory.Write(sizeof(DWORD), &empty, sizeof(empty));
    Send(button, BCM_GETNOTE, reinterpret_cast<WPARAM>(memory.Address(0)), memory.Param(sizeof(DWORD)));
    WCHAR wide[characters + 1] = {};
    memory.Read(sizeof(DWORD), wide, characters * sizeof(WCHAR));
    char text[characters * 2 + 1] = "";
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
    return text;
}

std::vector<std::string> ComboEntries(HWND combo)
{
    std::vector<std::string> entries;
    const int count = static_cast<int>(Send(combo, CB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        // Asked for in UTF-16: the system carries that form across processes.
        WCHAR wide[kTextSize] = L"";
        DWORD_PTR result = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(wide),
                            SMTO_NORMAL, kSendTimeoutMs, &result);
        char text[kTextSize * 2] = "";
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
        entries.push_back(text);
    }
    return entries;
}

} // namespace gui
