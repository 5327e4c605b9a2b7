// var_list_ctrl.h - CVarListCtrl, the owner-drawn list of the variables of
// one device: number, name, type, state and value of each, with a check
// square per row for the variables to publish. Rows hold the variable
// records of the data model; ticks live in each record's "checked" flag.
#pragma once

#include <windows.h>

#include <string>

class CDevice;
class CVariant;
class CToolbarDialog;

class CVarListCtrl {
public:
    CVarListCtrl(); // the drawing resources, kept for the life of the program
    CVarListCtrl(const CVarListCtrl &) = delete;
    CVarListCtrl &operator=(const CVarListCtrl &) = delete;

    bool Create(HWND parent, int id);
    HWND Hwnd() const { return m_list; }
    // Full-row selection and check boxes; the five columns; the list font.
    void SetupColumns();
    // Kept for the row height; applied to the list once it exists.
    void SetFont(HFONT font);
    void LinkToolbar(CToolbarDialog *toolbar) { m_toolbar = toolbar; }

    CDevice *Device() const { return m_device; }
    // Shows the device's variables (none: nothing), search cleared, the
    // ticks reset to what is published.
    void ShowDevice(CDevice *device);
    // Rows for the shown device's variables whose name contains filter.
    void Fill(const std::string &filter);
    // No rows and no device.
    void Empty();
    // State and value columns from the records; only changed cells are set.
    void RefreshValues();
    // Every shown row's tick, then all rows redrawn.
    void SetAllChecked(bool checked);
    // Ticks "全选" when every row is ticked (also when there are none).
    void SyncSelectAll();
    void RedrawAllRows();

    // Forwarded by the parent.
    void MeasureItem(MEASUREITEMSTRUCT &item) const;
    void DrawItem(const DRAWITEMSTRUCT &item) const;

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    bool OnLeftButtonDown(LPARAM position);
    CVariant *VariantOfRow(int row) const;
    std::string CellText(int row, int column) const;
    void SetCellText(int row, int column, const std::string &text);
    bool HasCheckBoxes() const;
    static RECT CheckSquare(const RECT &row);

    HWND m_list = nullptr;
    CDevice *m_device = nullptr;
    CToolbarDialog *m_toolbar = nullptr;
    HFONT m_font = nullptr;

    HPEN m_borderPen;
    HPEN m_checkPen;
    HPEN m_tickPen;
    HBRUSH m_rowBrush;
    HBRUSH m_selectedRowBrush;
};

// The state column: "good", or "bad" with the reason a published value is
// not good (last known value, comm failure, waiting for initial data).
const char *VariableStateText(const CVariant &variant);
