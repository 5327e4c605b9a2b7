// tag_record.h - the fixed-size records of the tag table: one TagRecord per
// declared tag, ItemInfo as the answer of a lookup by item ID, and the
// mapping of tag type codes to the VARTYPE that clients see.
#pragma once

#include <windows.h>
#include <oaidl.h>

enum : size_t {
    kItemIdSize = 80,      // at most 79 characters + NUL
    kDescriptionSize = 80, // at most 79 characters + NUL
    kUnitsSize = 16        // at most 15 characters + NUL
};

// Access rights shown to clients.
enum : WORD {
    kRightsReadable = 1,
    kRightsReadWrite = 3
};

struct TagRecord {
    char itemId[kItemIdSize];
    char description[kDescriptionSize];
    char units[kUnitsSize];
    BYTE type;      // tag type code 1..13
    BYTE writable;  // 1: clients may write
    BYTE reserved1[6];
    DWORD handle;
    DWORD changeStamp;  // tick of the last setter call, 0 = never set
    DWORD itemRefs;     // group items referring to the tag
    DWORD samplingRate; // ms, bookkeeping only
    FILETIME timestamp;
    WORD quality;
    BYTE reserved2[6];
    VARIANT value;
};

struct ItemInfo {
    char itemId[kItemIdSize];
    char description[kDescriptionSize];
    char units[kUnitsSize];
    DWORD handle;
    VARTYPE canonicalType;
    WORD accessRights;
};

#if defined(__i386__)
static_assert(sizeof(TagRecord) == 232, "tag record layout");
static_assert(sizeof(ItemInfo) == 184, "item info layout");
#endif

// Canonical VARTYPE of a tag type code; VT_EMPTY for codes outside 1..13.
VARTYPE CanonicalVarType(int tagType);
