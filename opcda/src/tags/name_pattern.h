// name_pattern.h - the browse filter pattern: "*" any run, "?" one character,
// everything else literal and case-sensitive.
#pragma once

// True when text matches pattern. A null or empty pattern, or "*", matches
// everything.
bool MatchNamePattern(const char *pattern, const char *text);
