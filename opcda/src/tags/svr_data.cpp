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

// The change stamp is the millisecond tick of the setter call (tick), never
// 0. It must differ from every recent stamp of the same tag even when calls
// fall in the same tick - a group that saw one value would otherwise miss
// the next - so a stamp never goes back: at least the previous one plus 1
// (tick counts wrap after 49 days; the comparison follows them).
DWORD NextChangeStamp(DWORD previous, DWORD tick)
{
    DWORD stamp = static_cast<LONG>(tick - previous) > 0 ? tick : previous + 1;
    if (stamp == 0)
        stamp = 1;
    return stamp;
}

// Values that own no memory: a VARIANT of these is copied by assignment.
bool IsPlainValue(VARTYPE type)
{
    switch (type) {
    case VT_EMPTY:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_BOOL:
        return true;
    default:
        return false;
    }
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
      m_startTick(GetTickCount()), m_maxTextBytes(0)
{
}

CSvrData::~CSvrData()
{
    for (TagValue &value : m_values)
        VariantClear(&value.value);
    for (NameEntry *entry : m_nameIndex) {
        while (entry != nullptr) {
            NameEntry *next = entry->next;
            delete entry;
            entry = next;
        }
    }
}

// FNV-1a over the item ID's bytes.
DWORD CSvrData::NameHash(const char *itemId)
{
    DWORD h = 2166136261u;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(itemId); *p != 0; ++p)
        h = (h ^ *p) * 16777619u;
    return h;
}

TagRecord *CSvrData::FindRecord(DWORD handle)
{
    if (handle == 0 || handle > m_records.size())
        return nullptr;
    return &m_records[handle - 1];
}

TagRecord *CSvrData::FindRecordByName(const char *itemId)
{
    if (m_nameIndex.empty())
        return nullptr;
    const DWORD hash = NameHash(itemId);
    for (NameEntry *e = m_nameIndex[hash & (m_nameIndex.size() - 1)]; e != nullptr; e = e->next) {
        if (e->hash == hash) {
            TagRecord &record = m_records[e->handle - 1];
            if (std::strcmp(record.itemId, itemId) == 0)
                return &record;
        }
    }
    return nullptr;
}

bool CSvrData::GrowNameIndex()
{
    const size_t size = m_nameIndex.empty() ? 4096 : m_nameIndex.size() * 2;
    std::vector<NameEntry *> grown;
    try {
        grown.assign(size, nullptr);
    } catch (...) {
        return false;
    }
    for (NameEntry *entry : m_nameIndex) {
        while (entry != nullptr) {
            NameEntry *next = entry->next;
            NameEntry *&chain = grown[entry->hash & (size - 1)];
            entry->next = chain;
            chain = entry;
            entry = next;
        }
    }
    m_nameIndex.swap(grown);
    return true;
}

// Adds a record under the next handle. False when memory runs out; the
// table is then unchanged.
bool CSvrData::InsertTag(const TagRecord &record)
{
    if (m_records.size() >= m_nameIndex.size() && !GrowNameIndex() && m_nameIndex.empty())
        return false;
    NameEntry *name = new (std::nothrow) NameEntry;
    if (name == nullptr)
        return false;
    TagValue empty;
    std::memset(&empty, 0, sizeof(empty));
    VariantInit(&empty.value);
    try {
        // Room for one more in both arrays first (growing by doubling), so
        // that the three always grow together.
        if (m_values.size() == m_values.capacity())
            m_values.reserve(m_values.empty() ? 1024 : 2 * m_values.size());
        if (m_stamps.size() == m_stamps.capacity())
            m_stamps.reserve(m_stamps.empty() ? 1024 : 2 * m_stamps.size());
        m_records.push_back(record);
    } catch (...) {
        delete name;
        return false;
    }
    m_values.push_back(empty); // room reserved: no throw
    m_stamps.push_back(0);
    TagRecord &stored = m_records.back();
    stored.handle = static_cast<DWORD>(m_records.size());
    name->hash = NameHash(stored.itemId);
    name->handle = stored.handle;
    NameEntry *&chain = m_nameIndex[name->hash & (m_nameIndex.size() - 1)];
    name->next = chain;
    chain = name;
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

    VARIANT oldValue;
    VariantInit(&oldValue);
    {
        CAutoLock guard(m_lock);
        TagRecord *existing = FindRecordByName(itemId);
        if (existing != nullptr) {
            // Re-declaration: same handle, everything else starts again.
            record.handle = existing->handle;
            *existing = record;
            TagValue &current = m_values[record.handle - 1];
            oldValue = current.value;
            std::memset(&current, 0, sizeof(current));
            VariantInit(&current.value);
            m_stamps[record.handle - 1] = 0;
            ++m_changeSerial;
            m_euRanges.erase(record.handle);
        } else {
            InsertTag(record); // out of memory: not added, result still 0
        }
    }
    VariantClear(&oldValue);
    return DAKORA_OK;
}

// Common frame of the text and byte-block setters: find the tag, check its type, let
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
                TagValue &current = m_values[record->handle - 1];
                oldValue = current.value;
                VariantInit(&current.value);
            }
            result = built;
        } else {
            TagValue &current = m_values[record->handle - 1];
            oldValue = current.value;
            current.value = value;
            VariantInit(&value);
            current.quality = quality;
            current.timestamp = timestamp;
            Stamp(record->handle, GetTickCount());
            ++m_changeSerial;
        }
    }
    VariantClear(&oldValue);
    VariantClear(&value);
    return result;
}

void CSvrData::Stamp(DWORD handle, DWORD tick)
{
    DWORD &stamp = m_stamps[handle - 1];
    // A tag never set yet takes the tick as it is.
    stamp = stamp == 0 ? (tick != 0 ? tick : 1) : NextChangeStamp(stamp, tick);
}

bool CSvrData::StoreValue(DWORD handle, const VARIANT &value, WORD quality, const FILETIME &timestamp,
                          DWORD tick)
{
    TagValue &current = m_values[handle - 1];
    // Plain numbers are copied as they are; anything that owns memory
    // through the OLE copy, the old value freed only once the copy worked.
    if (IsPlainValue(V_VT(&current.value)) && IsPlainValue(V_VT(&value))) {
        current.value = value;
    } else {
        VARIANT copy;
        VariantInit(&copy);
        if (FAILED(VariantCopy(&copy, const_cast<VARIANT *>(&value))))
            return false;
        VariantClear(&current.value);
        current.value = copy;
    }
    current.quality = quality;
    current.timestamp = timestamp;
    Stamp(handle, tick);
    return true;
}

int CSvrData::SetValue(const char *itemId, const VARIANT *value, WORD quality, DWORD timeLow,
                       DWORD timeHigh)
{
    if (itemId == nullptr || *itemId == '\0' || value == nullptr)
        return DAKORA_E_ARGUMENT;
    // Stored as given: no comparison with the tag's type, no conversion.
    const FILETIME timestamp = MakeTimestamp(timeLow, timeHigh);
    CAutoLock guard(m_lock);
    TagRecord *record = FindRecordByName(itemId);
    if (record == nullptr)
        return DAKORA_E_UNKNOWNTAG;
    if (!StoreValue(record->handle, *value, quality, timestamp, GetTickCount()))
        return DAKORA_E_TYPE;
    ++m_changeSerial;
    return DAKORA_OK;
}

DWORD CSvrData::HandleOf(const char *itemId)
{
    if (itemId == nullptr || *itemId == '\0')
        return 0;
    CAutoLock guard(m_lock);
    TagRecord *record = FindRecordByName(itemId);
    return record != nullptr ? record->handle : 0;
}

int CSvrData::SetValues(DWORD count, const DWORD *handles, const VARIANT *values,
                        const WORD *qualities, const FILETIME *timestamps, int *results)
{
    if (count == 0)
        return DAKORA_OK;
    if (handles == nullptr || values == nullptr || qualities == nullptr || timestamps == nullptr)
        return DAKORA_E_ARGUMENT;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const DWORD tick = GetTickCount();
    CAutoLock guard(m_lock);
    const DWORD tags = static_cast<DWORD>(m_values.size());
    for (DWORD i = 0; i < count; ++i) {
        const DWORD handle = handles[i];
        if (handle == 0 || handle > tags) {
            if (results != nullptr)
                results[i] = DAKORA_E_UNKNOWNTAG;
            continue;
        }
        const FILETIME &given = timestamps[i];
        const bool stored = StoreValue(handle, values[i], qualities[i],
                                       given.dwLowDateTime == 0 && given.dwHighDateTime == 0 ? now : given, tick);
        if (results != nullptr)
            results[i] = stored ? DAKORA_OK : DAKORA_E_TYPE;
    }
    ++m_changeSerial;
    return DAKORA_OK;
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
    return static_cast<DWORD>(m_records.size());
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

void CSvrData::CopyOut(DWORD handle, FILETIME *timestamp, WORD *quality, VARIANT *value) const
{
    const TagValue &current = m_values[handle - 1];
    if (timestamp != nullptr)
        *timestamp = current.timestamp;
    if (m_stamps[handle - 1] != 0) {
        if (quality != nullptr)
            *quality = current.quality;
        if (value != nullptr) {
            if (IsPlainValue(V_VT(&current.value)))
                *value = current.value;
            else
                VariantCopy(value, const_cast<VARIANT *>(&current.value));
        }
    } else if (quality != nullptr) {
        *quality = OPC_QUALITY_WAITING_FOR_INITIAL_DATA;
    }
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
    if (FindRecord(handle) == nullptr)
        return false;
    CopyOut(handle, timestamp, quality, value);
    return true;
}

void CSvrData::ReadValues(DWORD count, const DWORD *handles, FILETIME *timestamps, WORD *qualities,
                          VARIANT *values, bool *found)
{
    for (DWORD i = 0; i < count; ++i) {
        VariantInit(&values[i]);
        qualities[i] = 0;
        timestamps[i].dwLowDateTime = timestamps[i].dwHighDateTime = 0;
    }
    CAutoLock guard(m_lock);
    const DWORD tags = static_cast<DWORD>(m_records.size());
    for (DWORD i = 0; i < count; ++i) {
        const DWORD handle = handles[i];
        found[i] = handle != 0 && handle <= tags;
        if (found[i])
            CopyOut(handle, &timestamps[i], &qualities[i], &values[i]);
    }
}

bool CSvrData::GetChangeStamp(DWORD handle, DWORD *stamp)
{
    CAutoLock guard(m_lock);
    if (FindRecord(handle) == nullptr)
        return false;
    if (stamp != nullptr)
        *stamp = m_stamps[handle - 1];
    return true;
}

void CSvrData::GetChangeStamps(DWORD count, const DWORD *handles, DWORD *stamps)
{
    CAutoLock guard(m_lock);
    const DWORD tags = static_cast<DWORD>(m_stamps.size());
    const DWORD *all = m_stamps.data();
    for (DWORD i = 0; i < count; ++i) {
        const DWORD handle = handles[i];
        stamps[i] = handle != 0 && handle <= tags ? all[handle - 1] : 0;
    }
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
    for (const TagRecord &record : m_records) {
        const char *rest = BelowPosition(record.itemId, position, positionLength);
        if (rest != nullptr && std::strncmp(rest, name, nameLength) == 0 && rest[nameLength] == '.')
            return true;
    }
    return false;
}

bool CSvrData::PrefixExists(const char *text)
{
    if (text == nullptr)
        return false;
    const size_t length = std::strlen(text);
    CAutoLock guard(m_lock);
    for (const TagRecord &record : m_records) {
        if (std::strncmp(record.itemId, text, length) == 0 && record.itemId[length] == '.')
            return true;
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
    if (filterType == kBrowseBranches) {
        // Branch names below the position, each once, in declaration order.
        std::unordered_set<std::string> seen;
        for (const TagRecord &record : m_records) {
            const char *rest = BelowPosition(record.itemId, position, positionLength);
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
        return names;
    }

    for (const TagRecord &record : m_records) {
        if (names.size() >= kMaxListedNames)
            return names;
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
        for (const TagRecord &record : m_records) {
            const char *rest = BelowPosition(record.itemId, position, positionLength);
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
    std::vector<BrowseChild> list;
    list.reserve(children.size());
    for (auto &entry : children)
        list.push_back(std::move(entry.second));
    return list;
}
