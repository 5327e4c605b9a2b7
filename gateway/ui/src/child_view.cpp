// child_view.cpp - the main view: its children, their layout, the tree
// selection and the value refresh.
#include "child_view.h"

#include "manager.h"
#include "resource_ids.h"
#include "ui_messages.h"

namespace {

const char kViewClassName[] = "QuenlorLumaretView";
// Room above the two panels.
const int kPanelTop = 20;

CChildView *g_view = nullptr;

HFONT CreateListFont(HWND window)
{
    HDC dc = GetDC(window);
    const int height = -MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(window, dc);
    LOGFONTA font;
    ZeroMemory(&font, sizeof(font));
    font.lfHeight = height;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = GB2312_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynA(font.lfFaceName, "微软雅黑", LF_FACESIZE);
    return CreateFontIndirectA(&font);
}

SIZE ClientSize(HWND window)
{
    RECT client = {0, 0, 0, 0};
    GetClientRect(window, &client);
    SIZE size = {client.right, client.bottom};
    return size;
}

} // namespace

CChildView::CChildView(IGatewayCommands &commands)
    : m_commands(commands), m_statePanel(commands, *this), m_toolbar(commands)
{
    g_view = this;
}

CChildView *CChildView::Instance()
{
    return g_view;
}

bool CChildView::Create(HWND parent, int id)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.cbSize = sizeof(windowClass);
    if (!GetClassInfoExA(instance, kViewClassName, &windowClass)) {
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = kViewClassName;
        if (RegisterClassExA(&windowClass) == 0)
            return false;
    }
    m_view = CreateWindowExA(WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT, kViewClassName, "",
                             WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, this);
    return m_view != nullptr;
}

LRESULT CALLBACK CChildView::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CChildView *self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<CChildView *>(reinterpret_cast<CREATESTRUCTA *>(lParam)->lpCreateParams);
        self->m_view = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<CChildView *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    if (self == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT CChildView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate() ? 0 : -1;
    case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(m_view, &paint);
        EndPaint(m_view, &paint);
        return 0;
    }
    case WM_NOTIFY:
        return OnNotify(*reinterpret_cast<const NMHDR *>(lParam));
    case WM_MEASUREITEM: {
        MEASUREITEMSTRUCT &item = *reinterpret_cast<MEASUREITEMSTRUCT *>(lParam);
        if (item.CtlType == ODT_LISTVIEW) {
            m_list.MeasureItem(item);
            return TRUE;
        }
        break;
    }
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT &item = *reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
        if (item.CtlType == ODT_LISTVIEW && item.hwndItem == m_list.Hwnd()) {
            m_list.DrawItem(item);
            return TRUE;
        }
        break;
    }
    case WM_REFRESH_VALUES:
        m_list.RefreshValues();
        return 0;
    default:
        break;
    }
    return DefWindowProcA(m_view, message, wParam, lParam);
}

bool CChildView::OnCreate()
{
    if (!m_tree.Create(m_view, IDC_DEVICE_TREE))
        return false;
    // The list's rows take their height from this font when it is created.
    m_listFont = CreateListFont(m_view);
    m_list.SetFont(m_listFont);
    if (!m_list.Create(m_view, IDC_VARIABLE_LIST))
        return false;
    if (!m_toolbar.Create(m_view))
        return false;
    m_images = ImageList_Create(16, 16, ILC_COLOR32, 4, 4);
    if (m_images == nullptr)
        return false;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    for (int icon : {IDI_PROJECT, IDI_DEVICE, IDI_DEVICE_SELECTED}) {
        HICON loaded = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(icon), IMAGE_ICON, 16, 16, 0));
        ImageList_AddIcon(m_images, loaded);
        DestroyIcon(loaded);
    }
    m_list.LinkToolbar(&m_toolbar);
    m_toolbar.LinkList(&m_list);
    ShowWindow(m_toolbar.Hwnd(), SW_SHOW);
    if (!m_statePanel.Create(m_view))
        return false;
    ShowWindow(m_statePanel.Hwnd(), SW_SHOW);
    m_list.SetupColumns();
    m_tree.SetImageList(m_images);
    m_tree.SetFont(m_listFont);
    m_list.SetFont(m_listFont);
    const SIZE size = ClientSize(m_view);
    Layout(size.cx, size.cy);
    return true;
}

void CChildView::Layout(int width, int height)
{
    if (m_statePanel.Hwnd() == nullptr)
        return;
    const SIZE panel = ClientSize(m_statePanel.Hwnd());
    const SIZE toolbar = ClientSize(m_toolbar.Hwnd());
    const int w0 = panel.cx;
    const int h0 = panel.cy;
    const int h1 = toolbar.cy;
    SetWindowPos(m_statePanel.Hwnd(), nullptr, 0, kPanelTop, w0, h0, SWP_NOACTIVATE);
    SetWindowPos(m_toolbar.Hwnd(), nullptr, w0, kPanelTop, width - w0, h1, SWP_NOACTIVATE);
    if (m_tree.Hwnd() != nullptr)
        SetWindowPos(m_tree.Hwnd(), nullptr, 1, h0 + kPanelTop, w0 - 2, height - h0 - kPanelTop, SWP_NOACTIVATE);
    if (m_list.Hwnd() != nullptr)
        SetWindowPos(m_list.Hwnd(), nullptr, w0 + 2, h1 + kPanelTop + 2, width - w0 - 2, height - h1 - kPanelTop - 2,
                     SWP_NOACTIVATE);
}

LRESULT CChildView::OnNotify(const NMHDR &header)
{
    if (header.hwndFrom == m_tree.Hwnd() && (header.code == TVN_SELCHANGEDA || header.code == TVN_SELCHANGEDW)) {
        const NMTREEVIEWA &change = reinterpret_cast<const NMTREEVIEWA &>(header);
        OnTreeSelectionChanged(change.itemNew.hItem);
    }
    return 0;
}

void CChildView::OnTreeSelectionChanged(HTREEITEM item)
{
    if (item == nullptr || m_tree.Parent(item) == nullptr)
        return;
    CDevice *device = m_tree.DeviceOf(item);
    if (device == nullptr)
        return;
    m_shownItem = item;
    m_list.ShowDevice(device);
    std::string groupName;
    {
        CManager &manager = CManager::GetInstance();
        auto lock = manager.Lock();
        groupName = device->groupName;
    }
    m_toolbar.SetGroupNameText(groupName);
    m_list.SyncSelectAll();
}

void CChildView::RebuildDeviceTree()
{
    m_shownItem = nullptr;
    HTREEITEM first = m_tree.Rebuild();
    if (first != nullptr) {
        m_tree.Select(first);
        m_tree.EnsureVisible(m_tree.Parent(first));
    } else {
        m_list.Empty();
    }
    // Tree and list show only the data model's current projects now.
    CManager::GetInstance().ReleaseRetired();
}

void CChildView::EmptyListAndTree()
{
    m_shownItem = nullptr;
    m_tree.DeleteAll();
    m_list.Empty();
    CManager::GetInstance().ReleaseRetired();
}

void CChildView::RedrawShownDeviceIcon()
{
    if (m_shownItem == nullptr)
        return;
    if (CDevice *device = m_tree.DeviceOf(m_shownItem))
        m_tree.UpdateDeviceImage(m_shownItem, *device);
}

void CChildView::MoveFocusToPane(bool next)
{
    HWND panes[] = {m_statePanel.Hwnd(), m_toolbar.Hwnd(), m_tree.Hwnd(), m_list.Hwnd()};
    const int count = static_cast<int>(sizeof(panes) / sizeof(panes[0]));
    HWND focus = GetFocus();
    int current = -1;
    for (int i = 0; i < count; ++i)
        if (focus == panes[i] || IsChild(panes[i], focus))
            current = i;
    const int target = current < 0 ? 0 : (current + (next ? 1 : count - 1)) % count;
    HWND pane = panes[target];
    // A panel passes the focus to its first control that takes it.
    if (pane == m_statePanel.Hwnd() || pane == m_toolbar.Hwnd()) {
        HWND first = GetNextDlgTabItem(pane, nullptr, FALSE);
        if (first != nullptr)
            pane = first;
    }
    SetFocus(pane);
}
