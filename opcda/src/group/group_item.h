// group_item.h - one item of a group, keyed by the tag's handle.
#pragma once

#include <windows.h>

#include <unordered_map>

struct GroupItem {
    DWORD serverHandle = 0;     // the tag's handle
    DWORD clientHandle = 0;     // hClient given by the client
    VARTYPE requestedType = 0;  // values are delivered in this type (VT_EMPTY: as held)
    WORD active = 0;            // low 16 bits of bActive
    DWORD lastStamp = 0;        // change stamp last reported, 0 = nothing yet
    bool resend = false;        // report the current value at the next scan
    // Percent deadband of the item itself (IOPCItemDeadbandMgt); without one
    // the group's deadband applies.
    bool hasDeadband = false;
    float deadband = 0.0f;
    // The value and quality last reported, for the deadband.
    bool hasReported = false;
    double reportedValue = 0.0;
    WORD reportedQuality = 0;
    // Sampling rate of the item itself (IOPCItemSamplingMgt), 0 = none:
    // the item is then reported at most once per sampling period.
    DWORD samplingRate = 0;
    DWORD lastSampleTick = 0;
};

// Server handle -> item. Created with 7777 buckets; grows by load factor.
typedef std::unordered_map<DWORD, GroupItem> GroupItemMap;
