// manager_index.cpp - the selected variables: the selection text, the key and
// item ID indexes, polled values, and the segment content built from them.
#include "manager.h"

#include "segment_records.h"
#include "utc_time.h"

void CManager::ClearIndex()
{
    auto lock = Lock();
    keyIndex.clear();
    keyLookup.clear();
    keyOrder.clear();
    itemIdIndex.clear();
    LayoutChanged();
}

void CManager::RebuildIndex()
{
    auto lock = Lock();
    ClearIndex();

    // ";" device id ":" then "variable id," per selected variable, for every
    // device, also those without a selected variable.
    std::string text;
    std::size_t selectedCount = 0;
    for (const CProject *project : projects) {
        for (const CDevice *device : project->devices) {
            text += ";" + device->deviceId + ":";
            for (const CVariant *variant : device->variants) {
                if (variant->selected) {
                    text += variant->variantId + ",";
                    ++selectedCount;
                }
            }
        }
    }
    selection = selectedCount != 0 ? text : std::string();

    for (CProject *project : projects) {
        for (CDevice *device : project->devices) {
            for (CVariant *variant : device->variants) {
                if (!variant->selected)
                    continue;
                const auto type = typeCodes.find(variant->typeName);
                if (type != typeCodes.end())
                    variant->typeCode = static_cast<std::int8_t>(type->second);
                keyIndex[variant->key] = variant;
                keyLookup[variant->key] = variant;
                itemIdIndex[variant->itemId] = variant;
            }
        }
    }
    keyOrder.reserve(keyIndex.size());
    for (const auto &entry : keyIndex)
        keyOrder.push_back(entry.second);
    LayoutChanged();
}

bool CManager::StoreValue(CVariant &variant, const std::string &status, const std::string &value,
                          std::uint64_t replyTime)
{
    const bool valid = status == "1";
    const std::uint16_t quality = valid ? kQualityGood : kQualityBad;
    if (variant.valid == valid && variant.quality == quality && (valid ? variant.value == value : variant.value.empty()))
        return false; // the same value again keeps the time of the reply that produced it
    variant.valid = valid;
    variant.quality = quality;
    if (valid)
        variant.value = value;
    else
        variant.value.clear();
    variant.timestamp = replyTime != 0 ? replyTime : UtcFileTimeNow();
    return true;
}

void CManager::UpdateValue(const std::string &key, const std::string &status, const std::string &value,
                           std::uint64_t replyTime)
{
    auto lock = Lock();
    const auto found = keyLookup.find(key);
    if (found != keyLookup.end() && StoreValue(*found->second, status, value, replyTime))
        Published();
}

void CManager::ApplyValueReply(const std::vector<ReplyValue> &values, std::uint64_t replyTime,
                               const std::string &askedSelection, bool complete)
{
    auto lock = Lock();
    if (++m_replySerial == 0)
        m_replySerial = 1;
    bool changed = false;
    for (const ReplyValue &value : values) {
        const auto found = keyLookup.find(value.key);
        if (found == keyLookup.end())
            continue;
        found->second->replySerial = m_replySerial;
        changed = StoreValue(*found->second, value.status, value.value, replyTime) || changed;
    }
    // Left out of a complete reply to the selection as it still is: no
    // current value. (A selection changed meanwhile waits for its own poll.)
    if (complete && askedSelection == selection) {
        const std::uint64_t when = replyTime != 0 ? replyTime : UtcFileTimeNow();
        for (CVariant *variant : keyOrder) {
            if (variant->selected && variant->replySerial != m_replySerial)
                changed = MarkUnreachable(*variant, when) || changed;
        }
    }
    if (changed)
        Published();
}

// Called with the lock held: every selected variable's value becomes the
// last known one (or none), stamped with when that happened. True when any
// record changed.
bool CManager::MarkSelectionUnreachable(std::uint64_t when)
{
    bool changed = false;
    for (CVariant *variant : keyOrder) {
        if (variant->selected)
            changed = MarkUnreachable(*variant, when) || changed;
    }
    if (changed)
        Published();
    return changed;
}

bool CManager::MarkUnreachable(CVariant &variant, std::uint64_t when)
{
    const std::uint16_t quality = UnreachableQuality(variant.quality);
    if (variant.quality == quality && !variant.valid)
        return false;
    variant.valid = false;
    variant.quality = quality;
    variant.timestamp = when;
    return true;
}

bool CManager::InvalidateValues()
{
    auto lock = Lock();
    bool anyValid = false;
    for (const auto &entry : keyIndex)
        anyValid = anyValid || entry.second->valid;
    MarkSelectionUnreachable(UtcFileTimeNow());
    return anyValid;
}

bool CManager::MarkSourceUnreachable()
{
    auto lock = Lock();
    return MarkSelectionUnreachable(UtcFileTimeNow());
}

void CManager::MarkUnreported(const std::vector<std::string> &keys, std::uint64_t replyTime)
{
    auto lock = Lock();
    bool changed = false;
    for (const std::string &key : keys) {
        const auto found = keyIndex.find(key);
        if (found != keyIndex.end())
            changed = MarkUnreachable(*found->second, replyTime != 0 ? replyTime : UtcFileTimeNow()) || changed;
    }
    if (changed)
        Published();
}

void CManager::MarkValuesWaiting()
{
    auto lock = Lock();
    for (CProject *project : projects)
        for (CDevice *device : project->devices)
            for (CVariant *variant : device->variants) {
                variant->valid = false;
                variant->value.clear();
                variant->quality = kQualityWaiting;
                variant->timestamp = 0;
            }
    Published();
}

void CManager::SetPublishWakeUp(std::function<void()> wakeUp)
{
    auto lock = Lock();
    m_publishWakeUp = std::move(wakeUp);
}

void CManager::WakePublisher() const
{
    std::function<void()> wakeUp;
    {
        auto lock = Lock();
        wakeUp = m_publishWakeUp;
    }
    if (wakeUp)
        wakeUp();
}

std::uint64_t CManager::PublishGeneration() const
{
    auto lock = Lock();
    return m_publishGeneration;
}

SegmentContent CManager::SaveSelection(CSegmentSnapshotWriter &snapshot) const
{
    auto lock = Lock();
    const std::uint32_t count = static_cast<std::uint32_t>(keyIndex.size());
    snapshot.Begin(count, m_layoutGeneration);
    for (const CVariant *variant : keyOrder)
        snapshot.Add(*variant);
    SegmentContent info;
    info.generation = m_publishGeneration;
    info.layoutGeneration = m_layoutGeneration;
    info.count = count;
    return info;
}

SegmentContent CManager::PublishSelection(CSegmentSnapshotWriter &snapshot)
{
    return GetInstance().SaveSelection(snapshot);
}

std::uint64_t CManager::CurrentPublishGeneration()
{
    return GetInstance().PublishGeneration();
}
