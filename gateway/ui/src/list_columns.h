// list_columns.h - report-view columns from a table of headings and widths.
#pragma once

#include <windows.h>

#include <cstddef>

struct ListColumn {
    const char *heading;
    int width;
};

// Appends the columns, left-aligned, in the order of the table.
void InsertListColumns(HWND list, const ListColumn *columns, std::size_t count);

template <std::size_t N>
void InsertListColumns(HWND list, const ListColumn (&columns)[N])
{
    InsertListColumns(list, columns, N);
}
