// segment_test_peers.h - segment writer and reader for tests: a writer whose
// records the test sets (each setting is a new generation of the content),
// and a reader that records its traces, its stale calls and every snapshot
// it took, and whose tick can be moved on or stopped.
#pragma once

#include "mapping_client.h"
#include "mapping_server.h"
#include "segment_records.h"

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
    record.quality = valid ? kQualityGood : kQualityBad;
    record.typeCode = 5;
    record.selected = true;
    return record;
}

class CScriptedServer : public CMappingServer {
public:
    CScriptedServer()
        : CMappingServer([this](CSegmentSnapshotWriter &snapshot) { return SaveRecords(snapshot); },
                         [this] { return Generation(); })
    {
    }

    // A new generation of the content; a new layout unless only values
    // changed.
    void SetRecords(const std::vector<CVariant> &records, bool valuesOnly = false)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_records = records;
        ++m_generation;
        if (!valuesOnly)
            ++m_layoutGeneration;
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

    std::atomic<int> contentWrites{0};

private:
    ContentInfo SaveRecords(CSegmentSnapshotWriter &snapshot)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++contentWrites;
        const std::uint32_t count = static_cast<std::uint32_t>(m_records.size());
        snapshot.Begin(count, m_layoutGeneration);
        for (const CVariant &record : m_records)
            snapshot.Add(record);
        ContentInfo info;
        info.generation = m_generation;
        info.layoutGeneration = m_layoutGeneration;
        info.count = count;
        return info;
    }
    std::uint64_t Generation()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_generation;
    }

    std::mutex m_lock;
    std::vector<CVariant> m_records;
    std::uint64_t m_generation = 1;
    std::uint64_t m_layoutGeneration = 1;
};

// What one snapshot brought the reader.
struct LoadedRecord {
    std::string itemId;
    std::string value;
    bool valid;
    std::uint16_t quality;
};
using LoadedList = std::vector<LoadedRecord>;

class CRecordingClient : public CMappingClient {
public:
    std::atomic<int> tickOffset{0};
    std::atomic<int> staleCount{0};
    // When not 0, the reader's clock stands at this tick.
    std::atomic<DWORD> fixedTick{0};

    CRecordingClient()
    {
        m_onSnapshot = [this](const std::vector<PublishedLayout> &layout, std::uint32_t,
                              std::vector<PublishedValue> &values) {
            LoadedList list;
            for (std::size_t i = 0; i < layout.size() && i < values.size(); ++i)
                list.push_back({layout[i].itemId, values[i].value, values[i].valid, values[i].quality});
            std::lock_guard<std::mutex> lock(m_logLock);
            m_loads.push_back(list);
        };
        m_onStale = [this] { ++staleCount; };
    }

    DWORD CurrentTick() const override
    {
        const DWORD fixed = fixedTick;
        return fixed != 0 ? fixed : CMappingClient::CurrentTick() + tickOffset;
    }

    void Trace(const char *text) override
    {
        std::lock_guard<std::mutex> lock(m_logLock);
        m_traces.push_back(text);
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
