// svr_data.h - the tag table: one record per declared tag, in declaration
// order; its handle is its place in that order, and a hash index of the item
// IDs (growing with the table) finds it by name. The current values and the
// change stamps are arrays of their own in the same order. One lock guards
// everything.
// It also owns the write-forwarding worker through which client writes
// reach the host.
#pragma once

#include "dakora_da.h"
#include "lock.h"
#include "opc_data.h"
#include "write_to_dec.h"

#include <atomic>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

// One element below a browse position: a branch (more levels below it), an
// item (a tag of that full ID), or both.
struct BrowseChild {
    std::string name;
    bool hasChildren = false;
    bool isItem = false;
};

// Browse filter types of OPC DA.
enum BrowseFilter : int {
    kBrowseBranches = 1,
    kBrowseLeaves = 2,
    kBrowseFlat = 3
};

class CSvrData : public COpcData {
public:
    static const size_t kMaxListedNames = 1048576;

    CSvrData();
    ~CSvrData() override;
    CSvrData(const CSvrData &) = delete;
    CSvrData &operator=(const CSvrData &) = delete;

    // COpcData
    bool LookupItem(ItemInfo &info) override;
    bool LookupHandle(DWORD handle, ItemInfo &info) override;
    bool ReadValue(DWORD handle, FILETIME *timestamp, WORD *quality, VARIANT *value) override;
    bool GetChangeStamp(DWORD handle, DWORD *stamp) override;
    DWORD ChangeSerial() override { return m_changeSerial.load(); }
    void GetChangeStamps(DWORD count, const DWORD *handles, DWORD *stamps) override;
    void ReadValues(DWORD count, const DWORD *handles, FILETIME *timestamps, WORD *qualities,
                    VARIANT *values, bool *found) override;
    bool AddItemRef(DWORD handle, DWORD updateRate) override;
    bool ReleaseItemRef(DWORD handle) override;
    HRESULT WriteItem(DWORD handle, const FILETIME &timestamp, WORD quality,
                      const VARIANT &value, LCID lcid) override;
    bool GetEuRange(DWORD handle, double *low, double *high) override;

    // Host entry points; results are the export codes.
    int AddTag(const char *itemId, const char *description, const char *units, int tagType,
               unsigned char writable);
    int SetValue(const char *itemId, const VARIANT *value, WORD quality, DWORD timeLow,
                 DWORD timeHigh);
    // The handle of a declared tag (0 when there is none).
    DWORD HandleOf(const char *itemId);
    // Values of many tags by handle under one lock; see dakora_setvals.
    int SetValues(DWORD count, const DWORD *handles, const VARIANT *values, const WORD *qualities,
                  const FILETIME *timestamps, int *results);
    int SetText(const char *itemId, const char *text, WORD quality, DWORD timeLow,
                DWORD timeHigh);
    int SetBlob(const char *itemId, const void *data, DWORD count, WORD quality,
                DWORD timeLow, DWORD timeHigh);
    // The engineering-unit range of a numeric tag, which makes it an analog
    // item (percent deadband, EU properties). Re-declaring the tag drops it.
    int SetEuRange(const char *itemId, double low, double high);
    // Longest ANSI text (bytes) a client may write to a text tag; 0 = none.
    void SetWriteTextLimit(unsigned maxTextBytes) { m_maxTextBytes.store(maxTextBytes); }
    // The host's check of converted client writes (null: none).
    void SetWriteCheck(dakora_check_callback check, void *userData);
    // Number of declared tags.
    DWORD TagCount();

    // Browsing over the dot-separated hierarchy of item IDs.
    bool BranchExists(const char *position, const char *name);
    bool PrefixExists(const char *text);
    std::vector<std::string> ListNames(const char *position, int filterType,
                                       const char *pattern, VARTYPE typeFilter);
    // Every element directly below the position, sorted by name.
    std::vector<BrowseChild> ListChildren(const char *position);

    // Item references and sampling rate of a handle (bookkeeping, for tests).
    bool GetItemRefs(DWORD handle, DWORD *refs, DWORD *samplingRate);

    CWriteToDec &WriteToDec() { return m_writeToDec; }
    UINT FormatData() const { return m_cfData; }
    UINT FormatDataTime() const { return m_cfDataTime; }
    UINT FormatWriteComplete() const { return m_cfWriteComplete; }

private:
    // One entry of a name index chain; the item ID itself is the record's.
    struct NameEntry {
        NameEntry *next;
        DWORD hash;
        DWORD handle;
    };

    static DWORD NameHash(const char *itemId);

    // Callers hold m_lock.
    TagRecord *FindRecord(DWORD handle);
    TagRecord *FindRecordByName(const char *itemId);
    static void Describe(const TagRecord &record, ItemInfo &info);
    bool InsertTag(const TagRecord &record);
    // ReadValue's copy of one tag's value into the caller's fields.
    void CopyOut(DWORD handle, FILETIME *timestamp, WORD *quality, VARIANT *value) const;
    // Twice the buckets once the table has more tags than buckets; false
    // (index unchanged, still correct) when memory runs out.
    bool GrowNameIndex();
    // A setter's new value, quality, time stamp and change stamp; false
    // (tag unchanged) when the value cannot be copied.
    bool StoreValue(DWORD handle, const VARIANT &value, WORD quality, const FILETIME &timestamp,
                    DWORD tick);
    // A new change stamp for a tag, from the setter's tick. The caller
    // moves m_changeSerial once for all the tags of its call.
    void Stamp(DWORD handle, DWORD tick);
    // Runs a value update on a named tag; see the .cpp.
    template <typename Build>
    int UpdateValue(const char *itemId, int requiredType, WORD quality, DWORD timeLow,
                    DWORD timeHigh, Build build);

    UINT m_cfData;
    UINT m_cfDataTime;
    UINT m_cfWriteComplete;
    DWORD m_startTick;
    DWORD m_nextHandle;
    CLock m_lock;
    std::deque<TagRecord> m_records;     // handle h is m_records[h - 1]
    std::vector<TagValue> m_values;      // handle h is m_values[h - 1]
    // Tick of the last setter call of handle h at [h - 1]; 0 = never set.
    std::vector<DWORD> m_stamps;
    // Moves with every setter call on any tag (see COpcData::ChangeSerial).
    std::atomic<DWORD> m_changeSerial{1};
    std::vector<NameEntry *> m_nameIndex; // power-of-two number of chains
    std::unordered_map<DWORD, std::pair<double, double>> m_euRanges; // handle -> low, high
    std::atomic<unsigned> m_maxTextBytes;
    CLock m_checkLock;
    dakora_check_callback m_writeCheck = nullptr;
    void *m_writeCheckData = nullptr;
    CWriteToDec m_writeToDec;
};
