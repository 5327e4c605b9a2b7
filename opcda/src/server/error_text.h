// error_text.h - the texts of GetErrorString: every OPC DA result code in
// English and Chinese, other codes from the system's message tables, and
// the locales the server object speaks (English 1033, Chinese 2052).
#pragma once

#include <windows.h>

// True for the locales a server object accepts: English or Chinese ones,
// and the neutral, system and user defaults.
bool IsSupportedLocale(LCID locale);
// True when texts for the locale are Chinese (defaults resolved first).
bool IsChineseLocale(LCID locale);

// A task-memory text for the code in the locale's language; null when the
// code is not one the server knows (or memory is exhausted: *outOfMemory).
LPWSTR ErrorTextFor(HRESULT code, LCID locale, bool *outOfMemory);
