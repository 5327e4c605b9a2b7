// device_tree.h - CDeviceTree, the tree of the data model's projects and
// their devices. Project items carry the CProject, device items the CDevice;
// a device's icon shows whether any of its variables is published.
#pragma once

#include <windows.h>

#include <commctrl.h>

class CDevice;
class CProject;

// Image list indexes of the tree.
const int kProjectImage = 0;
const int kDeviceImage = 1;
const int kSelectedDeviceImage = 2;

class CDeviceTree {
public:
    bool Create(HWND parent, int id);
    HWND Hwnd() const { return m_tree; }
    void SetImageList(HIMAGELIST images);
    void SetFont(HFONT font);

    // All items anew from the data model; returns the first device item
    // (null when there is none). Selects nothing.
    HTREEITEM Rebuild();
    void DeleteAll();
    void Select(HTREEITEM item);
    void EnsureVisible(HTREEITEM item);
    HTREEITEM Parent(HTREEITEM item) const;
    // The device of a device item; null for a project item or none.
    CDevice *DeviceOf(HTREEITEM item) const;
    // Image 2 when the device has published variables, else 1.
    void UpdateDeviceImage(HTREEITEM item, const CDevice &device);

private:
    HTREEITEM Insert(HTREEITEM parent, const char *text, int image, LPARAM data);

    HWND m_tree = nullptr;
};
