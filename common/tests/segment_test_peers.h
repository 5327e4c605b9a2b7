// segment_test_peers.h - segment writer and reader for tests: a writer whose
// records the test sets, and a reader that records its traces, its stale
// calls and every list it loaded, and whose clock can be put off.
#pragma once

#include "mapping_client.h"
#include "mapping_server.h"

#include <boost/archive/binary_oarchive.hpp>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// A published record as the tests write it down.
inline CVariant MakeRecord(const std::string &key, const std::string &value, bool valid,
                           const std::string &itemId = std::string())
{
    CVariant record;
    record.key = key;
    record.variantId = key.substr(key.find(':') + 1);
    record.itemId = itemId.empty() ? "P.D." + record.variantId : itemId;
    record.name = record.variantId;
    record.typeName = "int32";
    record.value = value;
    record.valid = valid;
    record.typeCode = 5;
    record.selected = true;
    return record;
}

class CScriptedServer : public CMappingServer {
public:
    CScriptedServer()
        : CMappingServer([this](boost::archive::binary_oarchive &archive) { SaveRecords(archive); })
    {
    }

    void SetRecords(const std::vector<CVariant> &records)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_records = records;
    }

    std::vector<std::string> traces;
    void Trace(const char *text) override { traces.push_back(text); }

    DWORD openError = 0;
    bool openFailed = false;
    void OnOpenFailed(DWORD error) override
    {
        openFailed = true;
        openError = error;
    }

private:
    void SaveRecords(boost::archive::binary_oarchive &archive)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const std::int32_t count = static_cast<std::int32_t>(m_records.size());
        archive << count;
        for (const CVariant &record : m_records)
            archive << record;
    }

    std::mutex m_lock;
    std::vector<CVariant> m_records;
};

// What one load left in the reader's list.
struct LoadedRecord {
    std::string key;
    std::string itemId;
    std::string value;
    bool valid;
    bool changed;
};
using LoadedList = std::vector<LoadedRecord>;

class CRecordingClient : public CMappingClient {
public:
    std::atomic<int> clockOffset{0};
    std::atomic<int> staleCount{0};
    std::atomic<int> changedCalls{0};

    CRecordingClient()
    {
        m_onChanged = [this] { ++changedCalls; };
    }

    std::int64_t CurrentTime() const override { return CMappingClient::CurrentTime() + clockOffset; }
    void OnStale() override { ++staleCount; }

    void Trace(const char *text) override
    {
        std::lock_guard<std::mutex> lock(m_logLock);
        m_traces.push_back(text);
    }

    bool ReadContent(boost::archive::binary_iarchive &archive) override
    {
        if (!CMappingClient::ReadContent(archive))
            return false;
        LoadedList list;
        {
            auto records = LockRecords();
            for (const CVariant *record : *m_pVariants)
                list.push_back({record->key, record->itemId, record->value, record->valid, record->changed});
        }
        std::lock_guard<std::mutex> lock(m_logLock);
        if (m_bLoaded)
            m_loads.push_back(list);
        return true;
    }

    std::vector<std::string> Traces() const
    {
        std::lock_guard<std::mutex> lock(m_logLock);
        return m_traces;
    }
    int CountTrace(const std::string &text) const
    {
        int count = 0;
        for (const std::string &trace : Traces())
            count += trace == text ? 1 : 0;
        return count;
    }
    std::vector<LoadedList> Loads() const
    {
        std::lock_guard<std::mutex> lock(m_logLock);
        return m_loads;
    }

private:
    mutable std::mutex m_logLock;
    std::vector<std::string> m_traces;
    std::vector<LoadedList> m_loads;
};
