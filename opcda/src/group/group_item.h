// group_item.h - one item of a group, keyed by the tag's handle.
#pragma once

#include <windows.h>

#include <unordered_map>

struct GroupItem {
    DWORD serverHandle;  // the tag's handle
    DWORD clientHandle;  // hClient given by the client
    VARTYPE requestedType; // stored, never applied
    WORD active;         // low 16 bits of bActive
    DWORD lastStamp;     // change stamp last reported, 0 = nothing yet
};

// Server handle -> item. Created with 7777 buckets; grows by load factor.
typedef std::unordered_map<DWORD, GroupItem> GroupItemMap;
