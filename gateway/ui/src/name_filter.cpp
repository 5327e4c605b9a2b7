// name_filter.cpp - substring search over ANSI (double-byte) texts.
#include "name_filter.h"

#include <windows.h>

bool NameMatchesFilter(const std::string &name, const std::string &filter)
{
    if (filter.empty())
        return true;
    std::string::size_type position = 0;
    while (position + filter.size() <= name.size()) {
        if (name.compare(position, filter.size(), filter) == 0)
            return true;
        const bool doubleByte = IsDBCSLeadByte(static_cast<BYTE>(name[position])) != FALSE &&
                                position + 1 < name.size();
        position += doubleByte ? 2 : 1;
    }
    return false;
}
