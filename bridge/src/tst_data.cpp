// tst_data.cpp - the bridge between the published variables and the OPC
// DA library.
#include "tst_data.h"

#include "bridge_identity.h"
#include "dakora_da.h"
#include "restart_quality.h"
#include "utc_time.h"
#include "value_conversion.h"
#include "write_forwarding.h"

#include <algorithm>
#include <thread>

namespace {

std::string DeclarationKey(const PublishedRecord &record)
{
    return record.itemId + '\n' + std::to_string(record.typeCode);
}

bool SamePublishedState(const PublishedRecord &a, const PublishedRecord &b)
{
    return a.value == b.value && a.valid == b.valid && a.quality == b.quality && a.timestamp == b.timestamp;
}

} // namespace

CTstData::CTstData()
{
    m_client.m_onSnapshot = [this](std::vector<PublishedRecord> &records) { OnSnapshot(records); };
    m_client.m_onStale = [this] { OnStale(); };
    std::thread([this] { m_client.ThreadClient(); }).detach();
}

bool CTstData::Start()
{
    OutputDebugStringA("Start");
    // A write frame carries its value text in at most 255 bytes.
    dakora_setwritelimit(255);
    dakora_setwritecheck(&CheckWrite, &m_client);
    std::thread([] { RunWriteForwarding(bridge::kGatewayPort); }).detach();
    OutputDebugStringA("dakora_start");
    return dakora_start(bridge::kClassId, bridge::kVendor, bridge::kServer, bridge::kVersion,
                        bridge::kServerName, &OnWrite, nullptr, 0) == DAKORA_OK;
}

bool CTstData::SameVariables(const std::vector<PublishedRecord> &records) const
{
    if (records.size() != m_variants.size())
        return false;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].itemId != m_variants[i].itemId || records[i].typeCode != m_variants[i].typeCode)
            return false;
    }
    return true;
}

void CTstData::Declare(const std::vector<PublishedRecord> &records)
{
    OutputDebugStringA("OnAdd");
    // Items the gateway no longer publishes stay, with what they last had,
    // as values of a source that is gone.
    std::set<std::string> published;
    for (const PublishedRecord &record : records)
        published.insert(record.itemId);
    for (std::size_t i = 0; i < m_variants.size(); ++i) {
        PublishedRecord &old = m_variants[i];
        if (published.count(old.itemId) == 0) {
            old.valid = false;
            old.quality = UnreachableQuality(old.quality);
            old.timestamp = 0; // stamped now by the library
            Push(old, m_handles[i]);
        }
    }
    Flush();
    m_handles.assign(records.size(), 0);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const PublishedRecord &record = records[i];
        if (m_declared.insert(DeclarationKey(record)).second)
            dakora_addtag(record.itemId.c_str(), record.itemId.c_str(), "", record.typeCode, 1);
        dakora_gethandle(record.itemId.c_str(), &m_handles[i]);
    }
}

void CTstData::OnSnapshot(std::vector<PublishedRecord> &records)
{
    const bool declare = !SameVariables(records);
    if (declare)
        Declare(records);
    const bool all = declare || m_pushAll;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!declare)
            KeepLastKnownWhileWaiting(records[i], m_variants[i]);
        if (all || !SamePublishedState(records[i], m_variants[i]))
            Push(records[i], m_handles[i]);
    }
    Flush();
    m_pushAll = false;
    // The parsed records become the pushed ones; the old list's storage is
    // reused by the next parse.
    m_variants.swap(records);
}

void CTstData::OnStale()
{
    const std::uint64_t stamp = UtcFileTimeNow();
    for (std::size_t i = 0; i < m_variants.size(); ++i) {
        PublishedRecord &record = m_variants[i];
        const std::uint16_t quality = UnreachableQuality(record.quality);
        if (record.quality == quality && !record.valid)
            continue;
        record.valid = false;
        record.quality = quality;
        record.timestamp = stamp;
        Push(record, m_handles[i]);
    }
    Flush();
    // When the gateway is back, every record goes out again as it says.
    m_pushAll = true;
}

void CTstData::Push(const PublishedRecord &record, DWORD handle)
{
    if (handle == 0)
        return; // not declared (the library refused the item ID)
    // Room first, so that the four arrays always grow together.
    const std::size_t capacity = std::min({m_passHandles.capacity(), m_passValues.capacity(),
                                           m_passQualities.capacity(), m_passTimes.capacity()});
    if (m_passHandles.size() == capacity) {
        const std::size_t room = m_passHandles.empty() ? 1024 : m_passHandles.size() * 2;
        try {
            m_passHandles.reserve(room);
            m_passValues.reserve(room);
            m_passQualities.reserve(room);
            m_passTimes.reserve(room);
        } catch (...) {
            return; // out of memory: the value goes out with a later pass
        }
    }
    m_passHandles.push_back(handle);
    m_passValues.push_back(ConvertValue(record.typeCode, record.value));
    m_passQualities.push_back(record.quality);
    m_passTimes.push_back(FILETIME{static_cast<DWORD>(record.timestamp),
                                   static_cast<DWORD>(record.timestamp >> 32)});
}

void CTstData::Flush()
{
    const DWORD count = static_cast<DWORD>(m_passHandles.size());
    dakora_setvals(count, m_passHandles.data(), m_passValues.data(), m_passQualities.data(),
                   m_passTimes.data(), nullptr);
    for (VARIANT &value : m_passValues)
        VariantClear(&value);
    m_passHandles.clear();
    m_passValues.clear();
    m_passQualities.clear();
    m_passTimes.clear();
}
