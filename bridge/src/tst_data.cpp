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

bool SamePublishedState(const PublishedValue &a, const PublishedValue &b)
{
    return a.value == b.value && a.valid == b.valid && a.quality == b.quality && a.timestamp == b.timestamp;
}

} // namespace

CTstData::CTstData()
{
    m_client.m_onSnapshot = [this](const std::vector<PublishedLayout> &layout, std::uint32_t layoutNumber,
                                   std::vector<PublishedValue> &values) { OnSnapshot(layout, layoutNumber, values); };
    m_client.m_onStale = [this] { OnStale(); };
    // The item IDs are in the library once declared.
    m_client.PassLayoutOnlyWhenNew();
    std::thread([this] { m_client.ThreadClient(); }).detach();
}

bool CTstData::Start()
{
    OutputDebugStringA("Start");
    // A write frame carries its value text in at most 255 bytes.
    dakora_setwritelimit(255);
    dakora_setwritecheck(&CheckWrite, static_cast<CWriteGate *>(this));
    std::thread([] { RunWriteForwarding(bridge::kGatewayPort); }).detach();
    OutputDebugStringA("dakora_start");
    return dakora_start(bridge::kClassId, bridge::kVendor, bridge::kServer, bridge::kVersion,
                        bridge::kServerName, &OnWrite, nullptr, 0) == DAKORA_OK;
}

bool CTstData::Declare(const std::vector<PublishedLayout> &layout)
{
    OutputDebugStringA("OnAdd");
    std::vector<DWORD> handles(layout.size(), 0);
    std::vector<std::int8_t> typeCodes(layout.size(), 0);
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const PublishedLayout &item = layout[i];
        DWORD handle = 0;
        dakora_gethandle(item.itemId.c_str(), &handle);
        if (handle == 0 || handle >= m_declaredTypes.size() || m_declaredTypes[handle] != item.typeCode) {
            dakora_addtag(item.itemId.c_str(), item.itemId.c_str(), "", item.typeCode, 1);
            dakora_gethandle(item.itemId.c_str(), &handle);
            if (handle != 0) {
                if (handle >= m_declaredTypes.size())
                    m_declaredTypes.resize(handle + 1, 0);
                m_declaredTypes[handle] = item.typeCode;
            }
        }
        handles[i] = handle;
        typeCodes[i] = item.typeCode;
    }
    const bool same = handles == m_handles && typeCodes == m_typeCodes;
    // Items the gateway no longer publishes stay, with what they last had,
    // as values of a source that is gone.
    std::vector<bool> published(m_declaredTypes.size(), false);
    for (DWORD handle : handles)
        if (handle < published.size())
            published[handle] = true;
    for (std::size_t i = 0; i < m_values.size() && i < m_handles.size(); ++i) {
        if (m_handles[i] == 0 || (m_handles[i] < published.size() && published[m_handles[i]]))
            continue;
        PublishedValue &old = m_values[i];
        old.valid = false;
        old.quality = UnreachableQuality(old.quality);
        old.timestamp = 0; // stamped now by the library
        Push(old, m_handles[i], m_typeCodes[i]);
    }
    Flush();
    m_handles.swap(handles);
    m_typeCodes.swap(typeCodes);
    return same;
}

void CTstData::OnSnapshot(const std::vector<PublishedLayout> &layout, std::uint32_t layoutNumber,
                          std::vector<PublishedValue> &values)
{
    bool sameItems = true;
    if (layoutNumber != m_layoutNumber) {
        sameItems = Declare(layout) && m_values.size() == values.size();
        m_layoutNumber = layoutNumber;
    }
    if (m_handles.size() != values.size())
        return; // never values against other items (the layout comes with its first snapshot)
    const bool all = !sameItems || m_pushAll;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (sameItems)
            KeepLastKnownWhileWaiting(values[i], m_values[i]);
        if (all || !SamePublishedState(values[i], m_values[i]))
            Push(values[i], m_handles[i], m_typeCodes[i]);
    }
    Flush();
    m_pushAll = false;
    // The parsed values become the pushed ones; the old list's storage is
    // reused by the next parse.
    m_values.swap(values);
}

void CTstData::OnStale()
{
    const std::uint64_t stamp = UtcFileTimeNow();
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        PublishedValue &value = m_values[i];
        const std::uint16_t quality = UnreachableQuality(value.quality);
        if (value.quality == quality && !value.valid)
            continue;
        value.valid = false;
        value.quality = quality;
        value.timestamp = stamp;
        Push(value, m_handles[i], m_typeCodes[i]);
    }
    Flush();
    // When the gateway is back, every record goes out again as it says.
    m_pushAll = true;
}

void CTstData::Push(const PublishedValue &record, DWORD handle, std::int8_t typeCode)
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
    m_passValues.push_back(ConvertValue(typeCode, record.value));
    m_passQualities.push_back(record.quality);
    m_passTimes.push_back(FILETIME{static_cast<DWORD>(record.timestamp),
                                   static_cast<DWORD>(record.timestamp >> 32)});
}

bool CTstData::GatewayPublishes() const
{
    return m_client.WriterPresent();
}

bool CTstData::SourceReachable(const char *itemId) const
{
    DWORD handle = 0;
    if (dakora_gethandle(itemId, &handle) != DAKORA_OK || handle == 0)
        return false;
    std::lock_guard<std::mutex> guard(m_reachLock);
    return handle >= m_unreachable.size() || m_unreachable[handle] == 0;
}

void CTstData::Flush()
{
    const DWORD count = static_cast<DWORD>(m_passHandles.size());
    {
        std::lock_guard<std::mutex> guard(m_reachLock);
        for (DWORD i = 0; i < count; ++i) {
            const DWORD handle = m_passHandles[i];
            const bool unreachable = IsUnreachableQuality(m_passQualities[i]);
            if (handle >= m_unreachable.size()) {
                if (!unreachable)
                    continue;
                try {
                    m_unreachable.resize(handle + 1, 0);
                } catch (...) {
                    continue; // out of memory: the write goes to the gateway, which drops it
                }
            }
            m_unreachable[handle] = unreachable ? 1 : 0;
        }
    }
    dakora_setvals(count, m_passHandles.data(), m_passValues.data(), m_passQualities.data(),
                   m_passTimes.data(), nullptr);
    for (VARIANT &value : m_passValues)
        VariantClear(&value);
    m_passHandles.clear();
    m_passValues.clear();
    m_passQualities.clear();
    m_passTimes.clear();
}
