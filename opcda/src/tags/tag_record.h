// tag_record.h - the fixed-size records of the tag table: one TagRecord and
// one TagValue per declared tag, ItemInfo as the answer of a lookup by item ID, and the
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

// What a tag is: its description, fixed from the declaration on.
struct TagRecord {
    char itemId[kItemIdSize];
    char description[kDescriptionSize];
    char units[kUnitsSize];
    BYTE type;      // tag type code 1..13
    BYTE writable;  // 1: clients may write
    BYTE reserved1[6];
    DWORD handle;
    DWORD itemRefs;     // group items referring to the tag
    DWORD samplingRate; // ms, bookkeeping only
};

// What a tag holds now. Kept apart from the descriptions (and the change
// stamps apart again), so that setters and group scans walk small, dense
// arrays instead of the whole records.
struct TagValue {
    VARIANT value;      // VT_EMPTY until the first setter call
    FILETIME timestamp;
    WORD quality;
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
static_assert(sizeof(ItemInfo) == 184, "item info layout");
#endif

// Canonical VARTYPE of a tag type code; VT_EMPTY for codes outside 1..13.
VARTYPE CanonicalVarType(int tagType);
