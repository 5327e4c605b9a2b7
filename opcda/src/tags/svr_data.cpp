// svr_data.cpp - tag table: declaration, setters, lookups, item references,
// client writes and browsing.
#include "svr_data.h"

#include "name_pattern.h"
#include "opc_constants.h"
#include "opc_errors.h"
#include "value_coercion.h"

#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <unordered_set>

namespace {

bool CopyBounded(char *dest, size_t size, const char *src)
{
    size_t length = std::strlen(src);
    if (length >= size)
        return false;
    std::memcpy(dest, src, length + 1);
    return true;
}

FILETIME MakeTimestamp(DWORD timeLow, DWORD timeHigh)
{
    FILETIME ft;
    if (timeLow == 0 && timeHigh == 0) {
        GetSystemTimeAsFileTime(&ft);
    } else {
        ft.dwLowDateTime = timeLow;
        ft.dwHighDateTime = timeHigh;
    }
    return ft;
}

// The change stamp is the millisecond tick of the setter call, never 0. It
// must differ from the previous stamp of the same tag even when two calls
// fall in the same tick: a group that saw the first value would otherwise
// never see the second.
DWORD NextChangeStamp(DWORD previous)
{
    DWORD stamp = GetTickCount();
    if (stamp == 0)
        stamp = 1;
    if (stamp == previous) {
        ++stamp;
        if (stamp == 0)
            stamp = 1;
    }
    return stamp;
}

// Part of an item ID below a browse position: null when the ID does not lie
// below it.
const char *BelowPosition(const char *itemId, const char *position, size_t positionLength)
{
    if (positionLength == 0)
        return itemId;
    if (std::strncmp(itemId, position, positionLength) != 0 || itemId[positionLength] != '.')
        return nullptr;
    return itemId + positionLength + 1;
}

} // namespace

CSvrData::CSvrData()
    : m_cfData(RegisterClipboardFormatA("OPCSTMFORMATDATA")),
      m_cfDataTime(RegisterClipboardFormatA("OPCSTMFORMATDATATIME")),
      m_cfWriteComplete(RegisterClipboardFormatA("OPCSTMFORMATWRITECOMPLETE")),
      m_startTick(GetTickCount()), m_nextHandle(1), m_nameIndex(nullptr),
      m_recordTable(nullptr), m_tagCount(0), m_maxTextBytes(0)
{
}

CSvrData::~CSvrData()
{
    if (m_recordTable != nullptr) {
        for (unsigned i = 0; i < kBuckets; ++i) {
            RecordEntry *entry = m_recordTable[i];
            while (entry != nullptr) {
                RecordEntry *next = entry->next;
                VariantClear(&entry->record.value);
                delete entry;
                entry = next;
            }
        }
        delete[] m_recordTable;
    }
    if (m_nameIndex != nullptr) {
        for (unsigned i = 0; i < kBuckets; ++i) {
            NameEntry *entry = m_nameIndex[i];
            while (entry != nullptr) {
                NameEntry *next = entry->next;
                delete entry;
                entry = next;
            }
        }
        delete[] m_nameIndex;
    }
}

unsigned CSvrData::NameBucket(const char *itemId)
{
    unsigned h = 0;
    for (const char *p = itemId; *p != '\0'; ++p)
        h = h * 33 + static_cast<unsigned>(static_cast<int>(static_cast<signed char>(*p)));
    return h % kBuckets;
}

unsigned CSvrData::RecordBucket(DWORD handle)
{
    return static_cast<unsigned>(static_cast<DWORD>(handle * 0x9E3779B9u) % kBuckets);
}

TagRecord *CSvrData::FindRecord(DWORD handle)
{
    if (m_recordTable == nullptr)
        return nullptr;
    for (RecordEntry *e = m_recordTable[RecordBucket(handle)]; e != nullptr; e = e->next) {
        if (e->record.handle == handle)
            return &e->record;
    }
    return nullptr;
}

TagRecord *CSvrData::FindRecordByName(const char *itemId)
{
    if (m_nameIndex == nullptr)
        return nullptr;
    for (NameEntry *e = m_nameIndex[NameBucket(itemId)]; e != nullptr; e = e->next) {
        if (std::strcmp(e->itemId, itemId) == 0)
            return FindRecord(e->handle);
    }
    return nullptr;
}

// Adds a record under a new handle. False when memory runs out; the table is
// then unchanged.
bool CSvrData::InsertTag(const TagRecord &record)
{
    if (m_nameIndex == nullptr) {
        m_nameIndex = new (std::nothrow) NameEntry *[kBuckets]();
        if (m_nameIndex == nullptr)
            return false;
    }
    if (m_recordTable == nullptr) {
        m_recordTable = new (std::nothrow) RecordEntry *[kBuckets]();
        if (m_recordTable == nullptr)
            return false;
    }
    NameEntry *name = new (std::nothrow) NameEntry;
    RecordEntry *entry = new (std::nothrow) RecordEntry;
    if (name == nullptr || entry == nullptr) {
        delete name;
        delete entry;
        return false;
    }
    entry->record = record;
    entry->record.handle = m_nextHandle;
    std::memcpy(name->itemId, record.itemId, sizeof(name->itemId));
    name->handle = m_nextHandle;
    ++m_nextHandle;

    unsigned rb = RecordBucket(entry->record.handle);
    entry->next = m_recordTable[rb];
    m_recordTable[rb] = entry;
    unsigned nb = NameBucket(name->itemId);
    name->next = m_nameIndex[nb];
    m_nameIndex[nb] = name;
    ++m_tagCount;
    return true;
}

int CSvrData::AddTag(const char *itemId, const char *description, const char *units,
                     int tagType, unsigned char writable)
{
    if (itemId == nullptr || description == nullptr || units == nullptr || *itemId == '\0')
        return DAKORA_E_ARGUMENT;
    const int type = tagType & 0xFF;
    if (type < 1 || type > 13)
        return DAKORA_E_ARGUMENT;

    TagRecord record;
    std::memset(&record, 0, sizeof(record));
    if (!CopyBounded(record.itemId, sizeof(record.itemId), itemId) ||
        !CopyBounded(record.description, sizeof(record.description), description) ||
        !CopyBounded(record.units, sizeof(record.units), units))
        return DAKORA_E_ARGUMENT;
    record.type = static_cast<BYTE>(type);
    record.writable = writable;
    VariantInit(&record.value);

    VARIANT oldValue;
    VariantInit(&oldValue);
    {
        CAutoLock guard(m_lock);
        TagRecord *existing = FindRecordByName(itemId);
        if (existing != nullptr) {
            // Re-declaration: same handle, everything else starts again.
            oldValue = existing->value;
            record.handle = existing->handle;
            *existing = record;
            m_euRanges.erase(record.handle);
        } else {
            InsertTag(record); // out of memory: not added, result still 0
        }
    }
    VariantClear(&oldValue);
    return DAKORA_OK;
}

// Common frame of the three setters: find the tag, check its type, let
// build() produce the new value outside the lock, then swap it in with the
// quality, time stamp and a new change stamp.
template <typename Build>
int CSvrData::UpdateValue(const char *itemId, int requiredType, WORD quality, DWORD timeLow,
                          DWORD timeHigh, Build build)
{
    {
        CAutoLock guard(m_lock);
        TagRecord *record = FindRecordByName(itemId);
        if (record == nullptr)
            return DAKORA_E_UNKNOWNTAG;
        if (requiredType != 0 && record->type != requiredType)
            return DAKORA_E_TYPE;
    }

    VARIANT value;
    VariantInit(&value);
    int built = build(&value);
    const FILETIME timestamp = MakeTimestamp(timeLow, timeHigh);

    VARIANT oldValue;
    VariantInit(&oldValue);
    int result = DAKORA_OK;
    {
        CAutoLock guard(m_lock);
        TagRecord *record = FindRecordByName(itemId);
        if (record == nullptr) {
            result = DAKORA_E_UNKNOWNTAG;
        } else if (requiredType != 0 && record->type != requiredType) {
            result = DAKORA_E_TYPE; // re-declared meanwhile with another type
        } else if (built != DAKORA_OK) {
            // Text and byte-block setters leave the value empty when they
            // cannot build it; quality and time stamps stay as they were.
            if (requiredType != 0) {
                oldValue = record->value;
                VariantInit(&record->value);
            }
            result = built;
        } else {
            oldValue = record->value;
            record->value = value;
            VariantInit(&value);
            record->quality = quality;
            record->timestamp = timestamp;
            record->changeStamp = NextChangeStamp(record->changeStamp);
        }
    }
    VariantClear(&oldValue);
    VariantClear(&value);
    return result;
}

int CSvrData::SetValue(const char *itemId, const VARIANT *value, WORD quality, DWORD timeLow,
                       DWORD timeHigh)
{
    if (itemId == nullptr || *itemId == '\0' || value == nullptr)
        return DAKORA_E_ARGUMENT;
    // Stored as given: no comparison with the tag's type, no conversion.
    return UpdateValue(itemId, 0, quality, timeLow, timeHigh, [value](VARIANT *out) {
        if (FAILED(VariantCopy(out, const_cast<VARIANT *>(value))))
            return static_cast<int>(DAKORA_E_TYPE);
        return static_cast<int>(DAKORA_OK);
    });
}

int CSvrData::SetText(const char *itemId, const char *text, WORD quality, DWORD timeLow,
                      DWORD timeHigh)
{
    if (itemId == nullptr || *itemId == '\0' || text == nullptr)
        return DAKORA_E_ARGUMENT;
    return UpdateValue(itemId, DAKORA_TAG_TEXT, quality, timeLow, timeHigh,
                       [text](VARIANT *out) {
                           int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
                           if (length <= 0)
                               return static_cast<int>(DAKORA_E_MEMORY);
                           BSTR bstr = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
                           if (bstr == nullptr)
                               return static_cast<int>(DAKORA_E_MEMORY);
                           MultiByteToWideChar(CP_ACP, 0, text, -1, bstr, length);
                           V_VT(out) = VT_BSTR;
                           V_BSTR(out) = bstr;
                           return static_cast<int>(DAKORA_OK);
                       });
}

int CSvrData::SetBlob(const char *itemId, const void *data, DWORD count, WORD quality,
                      DWORD timeLow, DWORD timeHigh)
{
    if (itemId == nullptr || *itemId == '\0')
        return DAKORA_E_ARGUMENT;
    return UpdateValue(itemId, DAKORA_TAG_BLOB, quality, timeLow, timeHigh,
                       [data, count](VARIANT *out) {
                           SAFEARRAY *array = SafeArrayCreateVector(VT_UI1, 0, count);
                           if (array == nullptr)
                               return static_cast<int>(DAKORA_E_MEMORY);
                           if (data != nullptr && count != 0) {
                               void *elements = nullptr;
                               if (FAILED(SafeArrayAccessData(array, &elements))) {
                                   SafeArrayDestroy(array);
                                   return static_cast<int>(DAKORA_E_MEMORY);
                               }
                               std::memcpy(elements, data, count);
                               SafeArrayUnaccessData(array);
                           }
                           V_VT(out) = VT_ARRAY | VT_UI1;
                           V_ARRAY(out) = array;
                           return static_cast<int>(DAKORA_OK);
                       });
}

int CSvrData::SetEuRange(const char *itemId, double low, double high)
{
    if (itemId == nullptr || *itemId == '\0' || !std::isfinite(low) || !std::isfinite(high) ||
        !(low < high))
        return DAKORA_E_ARGUMENT;
    CAutoLock guard(m_lock);
    TagRecord *record = FindRecordByName(itemId);
    if (record == nullptr)
        return DAKORA_E_UNKNOWNTAG;
    if (record->type < DAKORA_TAG_I1 || record->type > DAKORA_TAG_R8)
        return DAKORA_E_TYPE; // only numbers have a range
    try {
        m_euRanges[record->handle] = {low, high};
    } catch (...) {
        return DAKORA_E_MEMORY;
    }
    return DAKORA_OK;
}

bool CSvrData::GetEuRange(DWORD handle, double *low, double *high)
{
    CAutoLock guard(m_lock);
    auto found = m_euRanges.find(handle);
    if (found == m_euRanges.end())
        return false;
    *low = found->second.first;
    *high = found->second.second;
    return true;
}

DWORD CSvrData::TagCount()
{
    CAutoLock guard(m_lock);
    return m_tagCount;
}

void CSvrData::Describe(const TagRecord &record, ItemInfo &info)
{
    info.handle = record.handle;
    info.canonicalType = CanonicalVarType(record.type);
    std::memcpy(info.description, record.description, sizeof(info.description));
    std::memcpy(info.units, record.units, sizeof(info.units));
    info.accessRights = record.writable != 0 ? kRightsReadWrite : kRightsReadable;
}

bool CSvrData::LookupItem(ItemInfo &info)
{
    info.itemId[sizeof(info.itemId) - 1] = '\0';
    CAutoLock guard(m_lock);
    TagRecord *record = FindRecordByName(info.itemId);
    if (record == nullptr)
        return false;
    Describe(*record, info);
    return true;
}

bool CSvrData::LookupHandle(DWORD handle, ItemInfo &info)
{
    CAutoLock guard(m_lock);
    TagRecord *record = FindRecord(handle);
    if (record == nullptr)
        return false;
    std::memcpy(info.itemId, record->itemId, sizeof(info.itemId));
    Describe(*record, info);
    return true;
}

bool CSvrData::ReadValue(DWORD handle, FILETIME *timestamp, WORD *quality, VARIANT *value)
{
    if (value != nullptr)
        VariantInit(value);
    if (quality != nullptr)
        *quality = 0;
    if (timestamp != nullptr)
        timestamp->dwLowDateTime = timestamp->dwHighDateTime = 0;

    CAutoLock guard(m_lock);
    TagRecord *record = FindRecord(handle);
    if (record == nullptr)
        return false;
    if (timestamp != nullptr)
        *timestamp = record->timestamp;
    if (record->changeStamp != 0) {
        if (quality != nullptr)
            *quality = record->quality;
        if (value != nullptr)
            VariantCopy(value, &record->value);
    } else if (quality != nullptr) {
        *quality = OPC_QUALITY_WAITING_FOR_INITIAL_DATA;
    }
    return true;
}

bool CSvrData::GetChangeStamp(DWORD handle, DWORD *stamp)
{
    CAutoLock guard(m_lock);
    TagRecord *record = FindRecord(handle);
    if (record == nullptr)
        return false;
    if (stamp != nullptr)
        *stamp = record->changeStamp;
    return true;
}

bool CSvrData::AddItemRef(DWORD handle, DWORD updateRate)
{
    CAutoLock guard(m_lock);
    TagRecord *record = FindRecord(handle);
    if (record == nullptr)
        return false;
    ++record->itemRefs;
    record->samplingRate = updateRate < 200 ? 200 : updateRate - updateRate % 200;
    return true;
}

bool CSvrData::ReleaseItemRef(DWORD handle)
{
    CAutoLock guard(m_lock);
    TagRecord *record = FindRecord(handle);
    if (record == nullptr || record->itemRefs == 0)
        return false;
    --record->itemRefs;
    return true;
}

bool CSvrData::GetItemRefs(DWORD handle, DWORD *refs, DWORD *samplingRate)
{
    CAutoLock guard(m_lock);
    TagRecord *record = FindRecord(handle);
    if (record == nullptr)
        return false;
    *refs = record->itemRefs;
    *samplingRate = record->samplingRate;
    return true;
}

void CSvrData::SetWriteCheck(dakora_check_callback check, void *userData)
{
    CAutoLock guard(m_checkLock);
    m_writeCheck = check;
    m_writeCheckData = userData;
}

HRESULT CSvrData::WriteItem(DWORD handle, const FILETIME &timestamp, WORD quality,
                            const VARIANT &value, LCID lcid)
{
    char itemId[kItemIdSize];
    VARTYPE canonical = VT_EMPTY;
    {
        CAutoLock guard(m_lock);
        TagRecord *record = FindRecord(handle);
        if (record == nullptr)
            return OPC_E_INVALIDHANDLE;
        std::memcpy(itemId, record->itemId, sizeof(itemId));
        if (record->writable != 1)
            return OPC_E_BADRIGHTS;
        canonical = CanonicalVarType(record->type);
    }
    // The host only ever sees values of the tag's own type.
    VARIANT converted;
    HRESULT hr = CoerceWriteValue(value, canonical, lcid, m_maxTextBytes.load(), &converted);
    if (hr != S_OK)
        return hr;
    dakora_check_callback check = nullptr;
    void *checkData = nullptr;
    {
        CAutoLock guard(m_checkLock);
        check = m_writeCheck;
        checkData = m_writeCheckData;
    }
    if (check != nullptr) {
        hr = check(itemId, &converted, checkData);
        if (hr != S_OK) {
            VariantClear(&converted);
            return FAILED(hr) ? hr : E_FAIL;
        }
    }
    // The table lock is released before the ring's lock is taken: the host
    // callback runs under the ring's lock and may call the setters.
    const bool queued = m_writeToDec.Enqueue(itemId, timestamp, quality, converted);
    VariantClear(&converted);
    return queued ? S_OK : E_FAIL;
}

bool CSvrData::BranchExists(const char *position, const char *name)
{
    if (position == nullptr)
        position = "";
    if (name == nullptr || *name == '\0')
        return false;
    const size_t positionLength = std::strlen(position);
    const size_t nameLength = std::strlen(name);
    CAutoLock guard(m_lock);
    if (m_nameIndex == nullptr)
        return false;
    for (unsigned i = 0; i < kBuckets; ++i) {
        for (NameEntry *e = m_nameIndex[i]; e != nullptr; e = e->next) {
            const char *rest = BelowPosition(e->itemId, position, positionLength);
            if (rest != nullptr && std::strncmp(rest, name, nameLength) == 0 &&
                rest[nameLength] == '.')
                return true;
        }
    }
    return false;
}

bool CSvrData::PrefixExists(const char *text)
{
    if (text == nullptr)
        return false;
    const size_t length = std::strlen(text);
    CAutoLock guard(m_lock);
    if (m_nameIndex == nullptr)
        return false;
    for (unsigned i = 0; i < kBuckets; ++i) {
        for (NameEntry *e = m_nameIndex[i]; e != nullptr; e = e->next) {
            if (std::strncmp(e->itemId, text, length) == 0 && e->itemId[length] == '.')
                return true;
        }
    }
    return false;
}

std::vector<std::string> CSvrData::ListNames(const char *position, int filterType,
                                             const char *pattern, VARTYPE typeFilter)
{
    if (position == nullptr)
        position = "";
    const size_t positionLength = std::strlen(position);
    std::vector<std::string> names;

    CAutoLock guard(m_lock);
    if (m_recordTable == nullptr)
        return names;

    if (filterType == kBrowseBranches) {
        // Branch names below the position, each once, in table order.
        std::unordered_set<std::string> seen;
        for (unsigned i = 0; i < kBuckets; ++i) {
            for (RecordEntry *e = m_recordTable[i]; e != nullptr; e = e->next) {
                const char *rest = BelowPosition(e->record.itemId, position, positionLength);
                if (rest == nullptr)
                    continue;
                const char *dot = std::strchr(rest, '.');
                if (dot == nullptr)
                    continue;
                std::string branch(rest, static_cast<size_t>(dot - rest));
                if (names.size() < kMaxListedNames && MatchNamePattern(pattern, branch.c_str()) &&
                    seen.insert(branch).second)
                    names.push_back(branch);
            }
        }
        return names;
    }

    for (unsigned i = 0; i < kBuckets; ++i) {
        for (RecordEntry *e = m_recordTable[i]; e != nullptr; e = e->next) {
            if (names.size() >= kMaxListedNames)
                return names;
            const TagRecord &record = e->record;
            const VARTYPE type = CanonicalVarType(record.type);
            if (typeFilter != VT_EMPTY && type != typeFilter)
                continue;
            if (filterType == kBrowseFlat) {
                names.emplace_back(record.itemId);
                continue;
            }
            const char *rest = BelowPosition(record.itemId, position, positionLength);
            if (rest == nullptr || std::strchr(rest, '.') != nullptr)
                continue;
            if (!MatchNamePattern(pattern, record.itemId))
                continue;
            names.emplace_back(rest);
        }
    }
    return names;
}

std::vector<BrowseChild> CSvrData::ListChildren(const char *position)
{
    if (position == nullptr)
        position = "";
    const size_t positionLength = std::strlen(position);
    std::map<std::string, BrowseChild> children;
    {
        CAutoLock guard(m_lock);
        if (m_recordTable == nullptr)
            return {};
        for (unsigned i = 0; i < kBuckets; ++i) {
            for (RecordEntry *e = m_recordTable[i]; e != nullptr; e = e->next) {
                const char *rest = BelowPosition(e->record.itemId, position, positionLength);
                if (rest == nullptr || *rest == '\0')
                    continue;
                const char *dot = std::strchr(rest, '.');
                std::string name = dot == nullptr ? std::string(rest)
                                                  : std::string(rest, static_cast<size_t>(dot - rest));
                if (children.size() >= kMaxListedNames && children.count(name) == 0)
                    continue;
                BrowseChild &child = children[name];
                child.name = name;
                if (dot == nullptr)
                    child.isItem = true;
                else
                    child.hasChildren = true;
            }
        }
    }
    std::vector<BrowseChild> list;
    list.reserve(children.size());
    for (auto &entry : children)
        list.push_back(std::move(entry.second));
    return list;
}
