// scan_schedule.h - the clock of the server's worker and the due times of
// group scans: each scan is due on the next multiple of the update rate,
// not one period after the moment the previous scan happened to run, so a
// group reports at exactly its rate however late the worker woke.
#pragma once

#include <windows.h>

namespace scan_schedule {

// No scan due (an inactive group, nothing to send).
const ULONGLONG kNever = ~0ULL;

// Milliseconds of a clock that never goes back.
inline ULONGLONG Now()
{
    return GetTickCount64();
}

// The scan after one made at now, for a period of `period` ms: the next
// multiple of the period on this clock. Groups of one rate therefore scan
// together, a scan that ran late does not shift the ones after it, and one
// that overran its period skips the due times it missed instead of trying
// to catch up.
inline ULONGLONG NextDue(DWORD period, ULONGLONG now)
{
    const ULONGLONG step = period != 0 ? period : 1;
    return (now / step + 1) * step;
}

} // namespace scan_schedule
