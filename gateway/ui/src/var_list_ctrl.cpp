// var_list_ctrl.cpp - rows, drawing, check squares and value refresh of the
// variable list.
#include "var_list_ctrl.h"

#include "list_columns.h"
#include "manager.h"
#include "name_filter.h"
#include "toolbar_dialog.h"

#include <commctrl.h>

#include <vector>

namespace {

const UINT_PTR kSubclassId = 1;

const ListColumn kColumns[] = {
    {"序号", 80}, {"变量名称", 280}, {"变量类型", 180}, {"变量状态", 180}, {"变量值", 180},
};
const int kStateColumn = 3;
const int kValueColumn = 4;

const COLORREF kSelectedVariableText = RGB(50, 50, 205);
const COLORREF kVariableText = RGB(70, 70, 70);
const COLORREF kSelectedRowTextBackground = RGB(0, 255, 0);
const COLORREF kRowTextBackground = RGB(255, 255, 255);

} // namespace

const char *VariableStateText(const CVariant &variant)
{
    if (variant.valid)
        return "good";
    // A published variable says why its value is not good, as its OPC item does.
    if (variant.selected) {
        switch (variant.quality) {
        case kQualityLastKnown: return "bad (last known value)";
        case kQualityCommFailure: return "bad (comm failure)";
        case kQualityWaiting: return "bad (waiting for initial data)";
        default: break;
        }
    }
    return "bad";
}

CVarListCtrl::CVarListCtrl()
    : m_borderPen(CreatePen(PS_SOLID, 1, RGB(210, 210, 210))),
      m_checkPen(CreatePen(PS_SOLID, 1, RGB(160, 160, 160))),
      m_tickPen(CreatePen(PS_SOLID, 1, RGB(100, 100, 100))),
      m_rowBrush(CreateSolidBrush(RGB(255, 255, 255))),
      m_selectedRowBrush(CreateSolidBrush(RGB(220, 220, 220)))
{
}

bool CVarListCtrl::Create(HWND parent, int id)
{
    m_list = CreateWindowExA(0, WC_LISTVIEWA, "",
                             WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_OWNERDRAWFIXED,
                             0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleA(nullptr), nullptr);
    if (m_list == nullptr)
        return false;
    SetWindowSubclass(m_list, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    return true;
}

void CVarListCtrl::SetupColumns()
{
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES);
    InsertListColumns(m_list, kColumns);
}

void CVarListCtrl::SetFont(HFONT font)
{
    m_font = font;
    if (m_list != nullptr)
        SendMessageA(m_list, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

bool CVarListCtrl::HasCheckBoxes() const
{
    return (ListView_GetExtendedListViewStyle(m_list) & LVS_EX_CHECKBOXES) != 0;
}

CVariant *CVarListCtrl::VariantOfRow(int row) const
{
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageA(m_list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return nullptr;
    return reinterpret_cast<CVariant *>(item.lParam);
}

std::string CVarListCtrl::CellText(int row, int column) const
{
    char text[1024] = "";
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    SendMessageA(m_list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

void CVarListCtrl::SetCellText(int row, int column, const std::string &text)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.iSubItem = column;
    item.pszText = const_cast<char *>(text.c_str());
    SendMessageA(m_list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void CVarListCtrl::ShowDevice(CDevice *device)
{
    m_device = device;
    // Emptying the search refills the list through the filter.
    if (m_toolbar != nullptr)
        m_toolbar->ClearSearch();
    if (m_device == nullptr)
        return;
    Fill(std::string());
    CManager &manager = CManager::GetInstance();
    auto lock = manager.Lock();
    for (CVariant *variant : m_device->variants)
        variant->checked = variant->selected;
}

void CVarListCtrl::Fill(const std::string &filter)
{
    if (m_device == nullptr)
        return;
    SendMessageA(m_list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(m_list);
    {
        CManager &manager = CManager::GetInstance();
        auto lock = manager.Lock();
        int row = 0;
        for (CVariant *variant : m_device->variants) {
            if (!NameMatchesFilter(variant->name, filter))
                continue;
            const std::string number = std::to_string(row + 1);
            LVITEMA item;
            ZeroMemory(&item, sizeof(item));
            item.mask = LVIF_TEXT | LVIF_PARAM;
            item.iItem = row;
            item.pszText = const_cast<char *>(number.c_str());
            item.lParam = reinterpret_cast<LPARAM>(variant);
            const int inserted =
                static_cast<int>(SendMessageA(m_list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
            if (inserted < 0)
                continue;
            SetCellText(inserted, 1, variant->name);
            SetCellText(inserted, 2, variant->typeName);
            SetCellText(inserted, kStateColumn, VariableStateText(*variant));
            SetCellText(inserted, kValueColumn, variant->value);
            ++row;
        }
    }
    SendMessageA(m_list, WM_SETREDRAW, TRUE, 0);
    RedrawAllRows();
}

void CVarListCtrl::Empty()
{
    ListView_DeleteAllItems(m_list);
    m_device = nullptr;
}

void CVarListCtrl::RefreshValues()
{
    const int count = ListView_GetItemCount(m_list);
    if (count <= 0)
        return;
    CManager &manager = CManager::GetInstance();
    auto lock = manager.Lock();
    for (int row = 0; row < count; ++row) {
        const CVariant *variant = VariantOfRow(row);
        if (variant == nullptr)
            continue;
        const std::string state = VariableStateText(*variant);
        if (CellText(row, kStateColumn) != state)
            SetCellText(row, kStateColumn, state);
        if (CellText(row, kValueColumn) != variant->value)
            SetCellText(row, kValueColumn, variant->value);
    }
}

void CVarListCtrl::SetAllChecked(bool checked)
{
    const int count = ListView_GetItemCount(m_list);
    for (int row = 0; row < count; ++row)
        if (CVariant *variant = VariantOfRow(row))
            variant->checked = checked;
    RedrawAllRows();
}

void CVarListCtrl::SyncSelectAll()
{
    bool all = true;
    const int count = ListView_GetItemCount(m_list);
    for (int row = 0; row < count && all; ++row) {
        const CVariant *variant = VariantOfRow(row);
        all = variant != nullptr && variant->checked;
    }
    if (m_toolbar != nullptr)
        m_toolbar->SetSelectAll(all);
}

void CVarListCtrl::RedrawAllRows()
{
    const int count = ListView_GetItemCount(m_list);
    if (count > 0)
        ListView_RedrawItems(m_list, 0, count - 1);
    UpdateWindow(m_list);
}

RECT CVarListCtrl::CheckSquare(const RECT &row)
{
    const int height = row.bottom - row.top;
    RECT square = {row.left + 2, row.top + 2, row.left + height - 2, row.bottom - 2};
    return square;
}

void CVarListCtrl::MeasureItem(MEASUREITEMSTRUCT &item) const
{
    HFONT font = m_font != nullptr ? m_font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    item.itemHeight = static_cast<UINT>(metrics.tmHeight + metrics.tmExternalLeading + 8);
}

void CVarListCtrl::DrawItem(const DRAWITEMSTRUCT &item) const
{
    if (item.itemID == static_cast<UINT>(-1))
        return;
    const CVariant *variant = reinterpret_cast<const CVariant *>(item.itemData);
    if (variant == nullptr)
        return;
    HDC dc = item.hDC;
    const RECT row = item.rcItem;
    const int rowIndex = static_cast<int>(item.itemID);
    const bool rowSelected = (ListView_GetItemState(m_list, rowIndex, LVIS_SELECTED) & LVIS_SELECTED) != 0;
    RECT square = CheckSquare(row);
    const bool checkBoxes = HasCheckBoxes();

    const int saved = SaveDC(dc);
    SetBkColor(dc, rowSelected ? kSelectedRowTextBackground : kRowTextBackground);
    SetTextColor(dc, variant->selected ? kSelectedVariableText : kVariableText);
    if (m_font != nullptr)
        SelectObject(dc, m_font);
    HWND header = ListView_GetHeader(m_list);
    const int columns = header != nullptr ? Header_GetItemCount(header) : 0;
    int left = row.left;
    for (int column = 0; column < columns; ++column) {
        const int width = ListView_GetColumnWidth(m_list, column);
        RECT cell = {left, row.top, left + width, row.bottom};
        SelectObject(dc, m_borderPen);
        SelectObject(dc, rowSelected ? m_selectedRowBrush : m_rowBrush);
        Rectangle(dc, cell.left - 1, cell.top, cell.right, cell.bottom + 1);
        // The first column's text starts after the check square.
        if (column == 0 && checkBoxes)
            cell.left += square.right - row.left;
        const std::string text = CellText(rowIndex, column);
        RECT textRect = {cell.left + 4, cell.top + 2, cell.right + 1, cell.bottom + 1};
        DrawTextA(dc, text.c_str(), -1, &textRect, DT_VCENTER);
        left += width;
    }
    RestoreDC(dc, saved);

    if (!checkBoxes)
        return;
    InflateRect(&square, -2, -2);
    HGDIOBJ oldPen = SelectObject(dc, m_checkPen);
    Rectangle(dc, square.left, square.top, square.right, square.bottom);
    if (variant->checked) {
        const int l = square.left;
        const int t = square.top;
        const int w = square.right - square.left;
        SelectObject(dc, m_tickPen);
        MoveToEx(dc, l + 2, t + 6, nullptr);
        LineTo(dc, l + 2 + w / 4, t + 6 + w / 4);
        LineTo(dc, l + 2 + w / 4 + 2 * w / 4, t + 6 + w / 4 - w / 2);
    }
    SelectObject(dc, oldPen);
}

bool CVarListCtrl::OnLeftButtonDown(LPARAM position)
{
    LVHITTESTINFO hit;
    ZeroMemory(&hit, sizeof(hit));
    hit.pt.x = static_cast<short>(LOWORD(position));
    hit.pt.y = static_cast<short>(HIWORD(position));
    const int row = ListView_HitTest(m_list, &hit);
    if (row < 0)
        return true; // on no row: nothing at all
    CVariant *variant = VariantOfRow(row);
    if (variant == nullptr)
        return true;
    const bool newState = !variant->checked;
    RECT bounds;
    ListView_GetItemRect(m_list, row, &bounds, LVIR_BOUNDS);
    const RECT square = CheckSquare(bounds);
    if (!PtInRect(&square, hit.pt))
        return false; // the list selects the row as usual

    if (ListView_GetSelectedCount(m_list) > 1) {
        for (int selected = ListView_GetNextItem(m_list, -1, LVNI_SELECTED); selected >= 0;
             selected = ListView_GetNextItem(m_list, selected, LVNI_SELECTED))
            if (CVariant *other = VariantOfRow(selected))
                other->checked = newState;
        RedrawAllRows();
    } else {
        variant->checked = newState;
        ListView_RedrawItems(m_list, row, row);
        UpdateWindow(m_list);
    }
    SyncSelectAll();
    return true;
}

LRESULT CALLBACK CVarListCtrl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                            DWORD_PTR data)
{
    CVarListCtrl *self = reinterpret_cast<CVarListCtrl *>(data);
    switch (message) {
    case WM_LBUTTONDOWN:
        if (self->OnLeftButtonDown(lParam))
            return 0;
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, SubclassProc, kSubclassId);
        break;
    default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
