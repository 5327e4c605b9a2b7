// device_tree.cpp - building and updating the project and device tree.
#include "device_tree.h"

#include "manager.h"

#include <string>

bool CDeviceTree::Create(HWND parent, int id)
{
    m_tree = CreateWindowExA(0, WC_TREEVIEWA, "",
                             WS_CHILD | WS_VISIBLE | WS_BORDER | WS_HSCROLL | WS_VSCROLL | WS_TABSTOP |
                                 TVS_HASBUTTONS | TVS_HASLINES | TVS_SHOWSELALWAYS,
                             0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleA(nullptr), nullptr);
    return m_tree != nullptr;
}

void CDeviceTree::SetImageList(HIMAGELIST images)
{
    TreeView_SetImageList(m_tree, images, TVSIL_NORMAL);
}

void CDeviceTree::SetFont(HFONT font)
{
    SendMessageA(m_tree, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

HTREEITEM CDeviceTree::Insert(HTREEITEM parent, const char *text, int image, LPARAM data)
{
    TVINSERTSTRUCTA insert;
    ZeroMemory(&insert, sizeof(insert));
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<char *>(text);
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    insert.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(SendMessageA(m_tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

HTREEITEM CDeviceTree::Rebuild()
{
    DeleteAll();
    HTREEITEM firstDevice = nullptr;
    CManager &manager = CManager::GetInstance();
    auto lock = manager.Lock();
    for (CProject *project : manager.projects) {
        HTREEITEM projectItem = Insert(TVI_ROOT, project->projectName.c_str(), kProjectImage,
                                       reinterpret_cast<LPARAM>(project));
        for (CDevice *device : project->devices) {
            const std::string text = device->name + " (" + std::to_string(device->variants.size()) + ")";
            HTREEITEM deviceItem = Insert(projectItem, text.c_str(),
                                          device->hasSelected ? kSelectedDeviceImage : kDeviceImage,
                                          reinterpret_cast<LPARAM>(device));
            if (firstDevice == nullptr)
                firstDevice = deviceItem;
        }
        TreeView_Expand(m_tree, projectItem, TVE_EXPAND);
    }
    return firstDevice;
}

void CDeviceTree::DeleteAll()
{
    TreeView_DeleteAllItems(m_tree);
}

void CDeviceTree::Select(HTREEITEM item)
{
    TreeView_SelectItem(m_tree, item);
}

void CDeviceTree::EnsureVisible(HTREEITEM item)
{
    if (item != nullptr)
        TreeView_EnsureVisible(m_tree, item);
}

HTREEITEM CDeviceTree::Parent(HTREEITEM item) const
{
    return item != nullptr ? TreeView_GetParent(m_tree, item) : nullptr;
}

CDevice *CDeviceTree::DeviceOf(HTREEITEM item) const
{
    if (item == nullptr || Parent(item) == nullptr)
        return nullptr;
    TVITEMA data;
    ZeroMemory(&data, sizeof(data));
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    if (!SendMessageA(m_tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)))
        return nullptr;
    return reinterpret_cast<CDevice *>(data.lParam);
}

void CDeviceTree::UpdateDeviceImage(HTREEITEM item, const CDevice &device)
{
    TVITEMA data;
    ZeroMemory(&data, sizeof(data));
    data.mask = TVIF_HANDLE | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    data.hItem = item;
    data.iImage = device.hasSelected ? kSelectedDeviceImage : kDeviceImage;
    data.iSelectedImage = data.iImage;
    SendMessageA(m_tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&data));
}
