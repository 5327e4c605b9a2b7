// list_columns.cpp - report-view columns from a table of headings and widths.
#include "list_columns.h"

#include <commctrl.h>

void InsertListColumns(HWND list, const ListColumn *columns, std::size_t count)
{
    for (std::size_t index = 0; index < count; ++index) {
        LVCOLUMNA column;
        ZeroMemory(&column, sizeof(column));
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = columns[index].width;
        column.pszText = const_cast<char *>(columns[index].heading);
        column.iSubItem = static_cast<int>(index);
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
    }
}
