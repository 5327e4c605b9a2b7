// mapping_client.h - CMappingClient, the service's reader of the shared data
// segment. It fills a list of CVariant records from the snapshots and flags
// every record whose value or validity changed with the last reload.
//
// The records are guarded by an in-process lock that the reader thread holds
// for each reload and for m_onChanged; the service takes the same lock
// (LockRecords) when it walks the records on another thread.
#pragma once

#include "file_mapping.h"
#include "variant_record.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

class CMappingClient : public XFileMapping {
public:
    CMappingClient();
    ~CMappingClient() override;

    // A non-empty list has been loaded; never goes back to false.
    std::atomic<bool> m_bLoaded{false};
    // The list that ReadContent fills, owned by the caller; points at a list
    // of this object's own until the caller sets it (before ThreadClient).
    std::vector<CVariant *> *m_pVariants;
    // Invoked after every reload but the first, on the reader thread, with
    // the segment mutex and the records lock held.
    std::function<void()> m_onChanged;

    // Holds off the reader thread's next reload while the caller reads the
    // records and their changed flags. Recursive: m_onChanged may take it too.
    std::unique_lock<std::recursive_mutex> LockRecords()
    {
        return std::unique_lock<std::recursive_mutex>(m_recordsLock);
    }

    void WriteContent(boost::archive::binary_oarchive &archive) override;
    bool ReadContent(boost::archive::binary_iarchive &archive) override;
    // Debugger output.
    void Trace(const char *text) override;

private:
    void ParseRecords(boost::archive::binary_iarchive &archive, std::int32_t count);
    void AppendRecords(std::size_t count);
    void OverwriteRecords();
    void InvalidateRecords();

    std::recursive_mutex m_recordsLock;
    // Records of the snapshot being read: a snapshot is parsed completely
    // before any of it reaches the list. Kept between reloads so that its
    // texts keep their storage.
    std::vector<CVariant> m_parsed;
    std::vector<CVariant *> m_ownVariants;
};
