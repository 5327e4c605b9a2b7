// name_filter.h - the variable list's search: does a variable name contain
// the filter text? Exact and case-sensitive, compared character by
// character in the ANSI code page, so that the trail byte of a double-byte
// character never matches a single-byte character of the filter.
#pragma once

#include <string>

// True when filter is empty or occurs in name starting at a character
// boundary of name.
bool NameMatchesFilter(const std::string &name, const std::string &filter);
